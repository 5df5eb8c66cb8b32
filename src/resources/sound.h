// Sounds and music as data files describe them: a resource name and playback settings. The
// engine plays them (IEngine::PlaySound, PlayMusic).
#pragma once

#include <string>
#include <string_view>

#include "persistence/persist_object.h"

namespace lumessa {

class ISound : public virtual IPropertyObject {
 public:
  // Name of a sound resource or sound group.
  virtual std::string GetResourceName() const = 0;
  // Percent of the resource's master volume; below 1 means the master volume as it is.
  virtual int GetVolume() const = 0;
  virtual void SetVolume(int volume) = 0;
  // -100 left .. 100 right; -101 leaves the channel's pan unchanged.
  virtual int GetPan() const = 0;
  virtual void SetPan(int pan) = 0;
  // Lower the music while this sound plays.
  virtual bool GetMuteMusic() const = 0;
  virtual void SetMuteMusic(bool mute) = 0;
};

class IMusic : public virtual IPropertyObject {
 public:
  virtual std::string GetResourceName() const = 0;
};

// Element "sounds", items "sound".
class ISoundCollection : public virtual ICollection {
 public:
  virtual Ref<ISound> Get(const TVariant& key) const = 0;
  virtual bool Add(const Ref<ISound>& sound) = 0;
};

// Element "musics", items "music".
class IMusicCollection : public virtual ICollection {
 public:
  virtual Ref<IMusic> Get(const TVariant& key) const = 0;
  virtual bool Add(const Ref<IMusic>& music) = 0;
};

}  // namespace lumessa
