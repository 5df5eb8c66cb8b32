// Image resources ("ImageResource"): a picture decoded once into a 32-bit surface, from a PNG, a
// JPEG, or a JPEG with a greyscale PNG as its alpha channel ("jpng").
#pragma once

#include <string_view>

#include "resources/resource_catalogue.h"

namespace lumessa {

// "format" in resource files; unknown loads nothing.
enum TImageFormat : int { ifPng = 0, ifJpeg = 1, ifJpng = 2, ifUnknown = 3 };
inline constexpr std::string_view kImageFormatChoices = "/png/jpeg/jpng/unknown";

// Attributes "file" and "format". Data that cannot be read or decoded leaves the resource
// without a surface (width and height 0); the log says why.
class TImageResource : public TResource, public virtual IImageResource {
 public:
  using TResource::Load;
  // Decodes the file once until Unload; needs an owner to open it.
  void Load() override;
  // Drops the surface.
  void Unload() override;

  // IImageResource: each loads first while the resource is pending.
  int GetWidth() override;
  int GetHeight() override;
  Ref<ISurface> GetSurface() override;

  int Format() const { return format_; }
  void SetFormat(int format) { format_ = format; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  // "format" only when not unknown.
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  // The decoded picture, or empty with the reason logged.
  Ref<TSurface> Decode();

  Ref<ISurface> surface_;
  int width_ = 0;
  int height_ = 0;
  int format_ = ifUnknown;
  bool loaded_ = false;
};

}  // namespace lumessa
