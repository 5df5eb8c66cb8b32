// Decorators: widgets that wrap exactly one decorated widget and own it.
//
//   TDecorateWidget     the decorated widget (first "widget" of "widgets"), the owner side
//   TBehaviourWidget    draws the decorated widget at its own position; the base of the
//                       appearance effects
//   TReplicatorWidget   "replicator_widget": draws the decorated widget cols x rows times
#pragma once

#include "widgets/abstract_widget.h"

namespace lumessa {

class TDecorateWidget : public TVisualWidget, public virtual IWidgetOwner {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;

  // IWidget
  void SetOwner(IWidgetOwner* owner) override;
  void Detach() override;
  void Refresh() override;
  void ClearReferences() override;
  void ResetAdvanced() override;
  void Restart() override;
  void Resume() override;
  void Pause() override;
  // The decorated widget, whatever the key.
  Ref<IWidget> GetChild(const TVariant& key) const override;
  Ref<IWidget> FindWidget(std::string_view path) const override {
    return TVisualWidget::FindWidget(path);
  }
  // Itself when hit, unless the decorated widget finds something under the point.
  Ref<IWidget> WidgetAtPos(TPoint point) override;
  // The decorated widget's pass first; when that redrew anything, the decorator redraws its
  // whole old and new rectangles.
  void UpdateDirty(bool forceOld, bool forceNew) override;

  // IWidgetOwner
  Ref<IEngine> GetEngine() const override;
  Ref<IWindow> GetWindow() const override;
  Ref<IEventHandler> GetEventHandler() const override;
  TPoint ScreenToChildLocal(TPoint point) const override;
  Ref<IWidget> CreateWidget(std::string_view factoryName,
                            const Ref<IParamCollection>& params) override;
  std::string GetPath() const override;
  void InvalidateRect(const TRect& rect) override;

  const Ref<IWidget>& GetDecorated() const { return decorated_; }
  // Detaches the previous decorated widget and attaches the new one to this decorator.
  void SetDecorated(const Ref<IWidget>& widget);

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  // Its own step, then the decorated widget's (unless that one is paused).
  void DoAdvanceTime(int dt) override;

 private:
  Ref<IWidget> decorated_;
};

class TBehaviourWidget : public TDecorateWidget {
 public:
  // Its anchors plus the decorated widget's left and top; the decorated widget's size.
  double GetLeft() const override;
  double GetTop() const override;
  int GetWidth() const override;
  int GetHeight() const override;
  void Draw(ISurface* surface, int x, int y) override;
};

class TReplicatorWidget : public TDecorateWidget {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;

  // The decorated size times the grid.
  int GetWidth() const override;
  int GetHeight() const override;
  // Copy (i, j) at (x + i * decorated width, y + j * decorated height); the decorated
  // widget's anchors are not added.
  void Draw(ISurface* surface, int x, int y) override;

  int GetCols() const { return cols_; }
  int GetRows() const { return rows_; }
  // A different grid moves the widget. Each count is kept within 0..kMaxGrid, so that data
  // cannot ask for billions of copies.
  void SetGrid(int cols, int rows);
  static constexpr int kMaxGrid = 1024;

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  int cols_ = 1;
  int rows_ = 1;
};

}  // namespace lumessa
