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

// ---------------------------------------------------------------------------------------------
// The data objects. Node "sound": "resourcename" (always written), "volume" (-1), "pan" (-101),
// "mutemusic" (no); each of the last three written only when it differs from its default.

class TSound : public TPropertyObject, public virtual ISound {
 public:
  void Initialize() override;

  std::string GetResourceName() const override { return resourceName_; }
  int GetVolume() const override { return volume_; }
  void SetVolume(int volume) override { volume_ = volume; }
  int GetPan() const override { return pan_; }
  void SetPan(int pan) override { pan_ = pan; }
  bool GetMuteMusic() const override { return muteMusic_; }
  void SetMuteMusic(bool mute) override { muteMusic_ = mute; }

  // "resourcename" (read only), "volume", "pan", "mutemusic"; a value that does not convert is
  // ignored.
  void SetProperty(std::string_view name, const TVariant& value) override;
  TVariant GetProperty(std::string_view name) const override;

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  std::string resourceName_;
  int volume_ = -1;
  int pan_ = -101;
  bool muteMusic_ = false;
};

// Node "music": "resourcename" (always written; property readable and writable).
class TMusic : public TPropertyObject, public virtual IMusic {
 public:
  void Initialize() override;

  std::string GetResourceName() const override { return resourceName_; }

  void SetProperty(std::string_view name, const TVariant& value) override;
  TVariant GetProperty(std::string_view name) const override;

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  std::string resourceName_;
};

// Every item a TSound, keyed by its name (an automatic name when it has none).
class TSoundCollection : public TStaticCreationPersistItemCollection,
                         public virtual ISoundCollection {
 public:
  void Initialize() override;
  Ref<ISound> Get(const TVariant& key) const override { return GetAs<ISound>(key); }
  bool Add(const Ref<ISound>& sound) override;

 protected:
  void AddItem(const Ref<IInterface>& item) override;
};

class TMusicCollection : public TStaticCreationPersistItemCollection,
                         public virtual IMusicCollection {
 public:
  void Initialize() override;
  Ref<IMusic> Get(const TVariant& key) const override { return GetAs<IMusic>(key); }
  bool Add(const Ref<IMusic>& music) override;

 protected:
  void AddItem(const Ref<IInterface>& item) override;
};

// Registers "Sound" and "Music"; once, at start-up.
void RegisterSoundClasses();

}  // namespace lumessa
