#include "resources/image_resource.h"

#include <exception>
#include <string>

#include "engine/log.h"
#include "resources/image_decode.h"

namespace lumessa {

void TImageResource::Load() {
  TResource::Load();
  if (loaded_ || !Owner()) return;
  loaded_ = true;
  Ref<TSurface> surface;
  try {
    surface = Decode();
  } catch (const std::exception& e) {
    Log("%s: %s; no image", Describe().c_str(), e.what());
  }
  surface_ = surface;
  width_ = surface ? surface->GetWidth() : 0;
  height_ = surface ? surface->GetHeight() : 0;
}

void TImageResource::Unload() {
  TResource::Unload();
  surface_.reset();
  width_ = 0;
  height_ = 0;
  loaded_ = false;
}

int TImageResource::GetWidth() {
  LoadIfPending();
  return width_;
}

int TImageResource::GetHeight() {
  LoadIfPending();
  return height_;
}

Ref<ISurface> TImageResource::GetSurface() {
  LoadIfPending();
  return surface_;
}

Ref<TSurface> TImageResource::Decode() {
  const std::string& file = FileName();
  auto open = [&](const std::string& path) {
    TStreamPtr stream = Owner()->OpenDataStream(path);
    if (!stream) Log("%s: the file \"%s\" is missing; no image", Describe().c_str(), path.c_str());
    return stream;
  };
  std::string error;
  std::string failed = file;  // the file the error is about
  Ref<TSurface> surface;
  switch (format_) {
    case ifPng:
    case ifJpeg: {
      TStreamPtr stream = open(file);
      if (!stream) return {};
      surface = format_ == ifPng ? DecodePng(*stream, error) : DecodeJpeg(*stream, error);
      break;
    }
    case ifJpng: {
      // The colour comes from the JPEG beside the greyscale PNG that holds the alpha.
      if (file.size() < 4) {
        Log("%s: \"%s\" names no JPEG beside it; no image", Describe().c_str(), file.c_str());
        return {};
      }
      std::string jpegFile = file.substr(0, file.size() - 4) + ".jpg";
      TStreamPtr jpeg = open(jpegFile);
      TStreamPtr mask = jpeg ? open(file) : nullptr;
      if (!jpeg || !mask) return {};
      surface = DecodeJpeg(*jpeg, error);
      if (!surface) {
        failed = jpegFile;
      } else if (!ApplyPngAlphaMask(*mask, *surface, error)) {
        surface.reset();
      }
      break;
    }
    default:
      Log("%s has no known image format; nothing is loaded", Describe().c_str());
      return {};
  }
  if (!surface) Log("%s: \"%s\": %s; no image", Describe().c_str(), failed.c_str(), error.c_str());
  return surface;
}

void TImageResource::LoadProperties(const Ref<IHierStorage>& storage) {
  TResource::LoadProperties(storage);
  format_ = ReadEnum(storage, "format", kImageFormatChoices, ifUnknown);
}

void TImageResource::SaveProperties(const Ref<IHierStorage>& storage) {
  TResource::SaveProperties(storage);
  WriteEnum(storage, "format", kImageFormatChoices, format_ != ifUnknown, format_);
}

}  // namespace lumessa
