// The resource interfaces: named images, bitmap fonts, sounds and music kept in the engine's
// catalogue, and the services a resource loads its data through (IResourceOwner, answered by
// the engine).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/collection.h"
#include "engine/geometry.h"
#include "engine/stream.h"
#include "engine/surface.h"

namespace lumessa {

class IResource;

// Handles of the audio layer: 0 is "none".
using TAudioHandle = uint32_t;

// The display's pixel layout, as the engine reads it.
struct TPixelFormatRecord {
  uint32_t redMask = 0, greenMask = 0, blueMask = 0;
  uint8_t redShift = 255, greenShift = 255, blueShift = 255;
  uint8_t redBits = 0, greenBits = 0, blueBits = 0;
};

// What a resource uses while loading.
class IResourceOwner : public virtual IInterface {
 public:
  // A data file for reading (archives included); empty on error.
  virtual TStreamPtr OpenDataStream(std::string_view fileName) = 0;
  virtual TPixelFormatRecord GetPixelFormat() const = 0;
  // The display value of 0x00RRGGBB; 0 while the display is not ready.
  virtual uint32_t ConvertColor(uint32_t rgb) const = 0;
  // Module music (looping); 0 on failure.
  virtual TAudioHandle LoadMusicModule(std::string_view fileName) = 0;
  virtual void FreeMusicModule(TAudioHandle handle) = 0;
  // A sample loaded whole, with up to maxPlaybacks simultaneous channels; 0 on failure.
  virtual TAudioHandle LoadSample(std::string_view fileName, uint16_t maxPlaybacks,
                                  bool loop) = 0;
  // A looping sample and its playback channel: returns the channel, `sample` the sample.
  virtual TAudioHandle LoadMusicSample(std::string_view fileName, TAudioHandle& sample) = 0;
  virtual void FreeSample(TAudioHandle handle) = 0;
  virtual Ref<IResource> FindResource(std::string_view name) = 0;
};

class IResource : public virtual INamedObject {
 public:
  virtual std::string GetGroup() const = 0;
  virtual void SetGroup(std::string_view group) = 0;
  // Loads the data now (Pending := false).
  virtual void Load() = 0;
  // Drops the data (Pending := true).
  virtual void Unload() = 0;
  // Owner := owner; loads unless the resource waits for its first use.
  virtual void SetOwner(IResourceOwner* owner) = 0;
  // Unload, then forget the owner.
  virtual void ReleaseResource() = 0;
};

class IImageResource : public virtual IResource {
 public:
  // Each loads the data first if it is still pending.
  virtual int GetWidth() = 0;
  virtual int GetHeight() = 0;
  virtual Ref<ISurface> GetSurface() = 0;
};

// One glyph of a bitmap font.
class ISymbol : public virtual INamedObject {
 public:
  virtual int GetCode() const = 0;
  virtual void SetCode(int code) = 0;
  virtual TRect GetRect() const = 0;
  virtual void SetRect(const TRect& rect) = 0;
  virtual int GetWidth() const = 0;
  virtual int GetHeight() const = 0;
  virtual int GetLeftBearing() const = 0;
  virtual int GetRightBearing() const = 0;
};

class IFontResource : public virtual IImageResource {
 public:
  virtual int GetLineHeight() = 0;
  // The symbol named by the decimal code of the text's first character; empty for empty text.
  virtual Ref<ISymbol> GetSymbol(std::string_view text) = 0;
};

class ISoundResource : public virtual IResource {
 public:
  virtual TAudioHandle GetSample() = 0;
  // 0..100.
  virtual int GetMasterVolume() = 0;
  // Groups pick the member the following calls answer for; single resources do nothing.
  virtual void Select() = 0;
};

class IMusicResource : public virtual IResource {
 public:
  enum Format { kMo3 = 0, kOgg = 1 };
  virtual TAudioHandle GetHandle() = 0;
  virtual int GetFormat() = 0;
  virtual void Select() = 0;
};

class IResourceCollection : public virtual ICollection {
 public:
  // Releases and removes every resource whose group equals `group` exactly (all for "").
  virtual void RemoveGroup(std::string_view group) = 0;
  virtual Ref<IResource> Get(const TVariant& key) const = 0;
  // Keyed by the resource's name; a second resource of the same name is not added.
  virtual bool Add(const Ref<IResource>& resource) = 0;
};

}  // namespace lumessa
