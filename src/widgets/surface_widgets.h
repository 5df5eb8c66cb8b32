// Widgets that show a surface or a plain colour.
//
//   TSurfaceWidget        "surface_widget": part of a surface, copied or as a colour through
//                         its shape
//   TLinkedSurfaceWidget  "linked_widget_name": a live copy of another widget's picture
//   TRectWidget           "rect_widget": a rectangle of one colour
#pragma once

#include <cstdint>
#include <string>

#include "widgets/abstract_widget.h"

namespace lumessa {

// Draws (shiftleft, shifttop, +width, +height) of its surface. It keeps its own width and
// height, as every single widget does; setting a surface takes the surface's size.
class TSurfaceWidget : public TSingleWidget {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;
  void Draw(ISurface* surface, int x, int y) override;

  const Ref<ISurface>& GetSurface() const { return surface_; }
  // Moves the widget, clears both shifts and takes the surface's size (0 without one).
  virtual void SetSurface(const Ref<ISurface>& surface);
  // 0 copies the surface, 1 paints the fill colour through its shape.
  int GetDrawMode() const { return drawMode_; }
  void SetDrawMode(int mode);
  uint32_t GetFillColor() const { return fillColor_; }
  void SetFillColor(uint32_t color);
  void SetShift(int left, int top);

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  Ref<ISurface> surface_;
  int drawMode_ = dmCopyRect;
  uint32_t fillColor_ = 0;
  int shiftLeft_ = 0;
  int shiftTop_ = 0;
};

class TLinkedSurfaceWidget : public TSurfaceWidget {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;

  // The path of the mirrored widget, relative to this one.
  const std::string& GetLinkedWidgetName() const { return linkedName_; }
  void SetLinkedWidgetName(std::string_view path) { linkedName_ = path; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  // After its own step it takes a fresh picture of the mirrored widget.
  void DoAdvanceTime(int dt) override;

 private:
  std::string linkedName_;
};

class TRectWidget : public TSingleWidget {
 public:
  void SetProperty(std::string_view name, const TVariant& value) override;
  void Draw(ISurface* surface, int x, int y) override;

  uint32_t GetColor() const { return color_; }
  // A different colour marks the widget changed.
  void SetColor(uint32_t color);

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  uint32_t color_ = 0;
  // The fill-colour operation needs a shape; a plain surface of the widget's size is one. Kept
  // between draws so that drawing does not allocate.
  Ref<TSurface> mask_;
};

}  // namespace lumessa
