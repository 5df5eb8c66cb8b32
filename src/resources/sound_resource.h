// Sound and music resources: samples and music tracks loaded through the owner's audio
// operations, and groups of them from which each playback picks a member at random.
#pragma once

#include <string_view>

#include "resources/resource_catalogue.h"

namespace lumessa {

// "SoundResource": "file", "maxplaybacks" (0: raised to 1 when the owner is set) and
// "master_volume" (0..100, default 100).
class TSoundResource : public TResource, public virtual ISoundResource {
 public:
  using TResource::Load;
  // Sample := owner.LoadSample(file, MaxPlaybacks, no loop), once until Unload.
  void Load() override;
  // owner.FreeSample(Sample).
  void Unload() override;
  void SetOwner(IResourceOwner* owner) override;

  // Loads first while the resource is pending; 0 when the data did not load.
  TAudioHandle GetSample() override;
  int GetMasterVolume() override { return masterVolume_; }
  void Select() override {}

  int MaxPlaybacks() const { return maxPlaybacks_; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  TAudioHandle sample_ = 0;
  int maxPlaybacks_ = 0;
  int masterVolume_ = 100;
};

inline constexpr std::string_view kMusicFormatChoices = "/mo3/ogg";

// "MusicResource": "file" and "format" (mo3: a module; ogg: a looping sample and its channel).
class TMusicResource : public TResource, public virtual IMusicResource {
 public:
  using TResource::Load;
  // mo3: Handle := owner.LoadMusicModule(file); ogg: Handle := owner.LoadMusicSample(file,
  // Sample). Once until Unload.
  void Load() override;
  // mo3: owner.FreeMusicModule(Handle); ogg: owner.FreeSample(Sample).
  void Unload() override;

  // Loads first while the resource is pending; 0 when the data did not load.
  TAudioHandle GetHandle() override;
  int GetFormat() override { return format_; }
  void Select() override {}

  TAudioHandle Sample() const { return sample_; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  TAudioHandle handle_ = 0;
  TAudioHandle sample_ = 0;
  int format_ = IMusicResource::kMo3;
};

// "SoundGroupResource": Select picks a member at random; the sound calls answer for it.
class TSoundGroupResource : public TGroupResource, public virtual ISoundResource {
 public:
  void ReleaseResource() override;

  // The current member's sample; 0 without one.
  TAudioHandle GetSample() override;
  // The current member's volume; 100 without one.
  int GetMasterVolume() override;
  // A uniformly random sound member (which then selects in turn, should it be a group).
  void Select() override;

  const Ref<ISoundResource>& Current() const { return current_; }

 private:
  Ref<ISoundResource> current_;
};

// "MusicGroupResource": as the sound group, for music.
class TMusicGroupResource : public TGroupResource, public virtual IMusicResource {
 public:
  void ReleaseResource() override;

  // The current member's handle; 0 without one.
  TAudioHandle GetHandle() override;
  // The current member's format; ogg without one.
  int GetFormat() override;
  void Select() override;

  const Ref<IMusicResource>& Current() const { return current_; }

 private:
  Ref<IMusicResource> current_;
};

}  // namespace lumessa
