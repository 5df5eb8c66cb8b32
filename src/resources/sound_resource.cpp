#include "resources/sound_resource.h"

#include <algorithm>
#include <cstdint>

namespace lumessa {

// ---------------------------------------------------------------------------------------------
// TSoundResource

void TSoundResource::Load() {
  TResource::Load();
  if (sample_ || !Owner()) return;
  // The audio layer counts simultaneous playbacks in 16 bits and needs at least one.
  auto playbacks = uint16_t(std::clamp(maxPlaybacks_, 1, int(UINT16_MAX)));
  sample_ = Owner()->LoadSample(FileName(), playbacks, false);
}

void TSoundResource::Unload() {
  TResource::Unload();
  if (sample_ && Owner()) Owner()->FreeSample(sample_);
  sample_ = 0;
}

void TSoundResource::SetOwner(IResourceOwner* owner) {
  if (maxPlaybacks_ == 0) maxPlaybacks_ = 1;
  TResource::SetOwner(owner);
}

TAudioHandle TSoundResource::GetSample() {
  LoadIfPending();
  return sample_;
}

void TSoundResource::LoadProperties(const Ref<IHierStorage>& storage) {
  TResource::LoadProperties(storage);
  maxPlaybacks_ = ReadInt(storage, "maxplaybacks", 0);
  masterVolume_ = std::clamp(ReadInt(storage, "master_volume", 100), 0, 100);
}

void TSoundResource::SaveProperties(const Ref<IHierStorage>& storage) {
  TResource::SaveProperties(storage);
  WriteInt(storage, "maxplaybacks", maxPlaybacks_ != 0, maxPlaybacks_);
  WriteInt(storage, "master_volume", masterVolume_ != 100, masterVolume_);
}

// ---------------------------------------------------------------------------------------------
// TMusicResource

void TMusicResource::Load() {
  TResource::Load();
  if (handle_ || sample_ || !Owner()) return;
  if (format_ == kOgg)
    handle_ = Owner()->LoadMusicSample(FileName(), sample_);
  else
    handle_ = Owner()->LoadMusicModule(FileName());
}

void TMusicResource::Unload() {
  TResource::Unload();
  if (Owner()) {
    // An ogg track's channel belongs to its sample and goes with it.
    if (format_ == kOgg && sample_)
      Owner()->FreeSample(sample_);
    else if (format_ != kOgg && handle_)
      Owner()->FreeMusicModule(handle_);
  }
  handle_ = 0;
  sample_ = 0;
}

TAudioHandle TMusicResource::GetHandle() {
  LoadIfPending();
  return handle_;
}

void TMusicResource::LoadProperties(const Ref<IHierStorage>& storage) {
  TResource::LoadProperties(storage);
  format_ = ReadEnum(storage, "format", kMusicFormatChoices, kMo3);
}

void TMusicResource::SaveProperties(const Ref<IHierStorage>& storage) {
  TResource::SaveProperties(storage);
  WriteEnum(storage, "format", kMusicFormatChoices, format_ != kMo3, format_);
}

// ---------------------------------------------------------------------------------------------
// Groups

void TSoundGroupResource::ReleaseResource() {
  current_.reset();
  TGroupResource::ReleaseResource();
}

TAudioHandle TSoundGroupResource::GetSample() {
  return current_ ? current_->GetSample() : 0;
}

int TSoundGroupResource::GetMasterVolume() {
  return current_ ? current_->GetMasterVolume() : 100;
}

void TSoundGroupResource::Select() {
  current_ = PickMember<ISoundResource>();
  if (current_) current_->Select();
}

void TMusicGroupResource::ReleaseResource() {
  current_.reset();
  TGroupResource::ReleaseResource();
}

TAudioHandle TMusicGroupResource::GetHandle() {
  return current_ ? current_->GetHandle() : 0;
}

int TMusicGroupResource::GetFormat() {
  return current_ ? current_->GetFormat() : kOgg;
}

void TMusicGroupResource::Select() {
  current_ = PickMember<IMusicResource>();
  if (current_) current_->Select();
}

}  // namespace lumessa
