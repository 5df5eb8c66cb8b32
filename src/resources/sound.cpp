#include "resources/sound.h"

namespace lumessa {

namespace {

// Collections key their items by name; an unnamed item gets an automatic name.
bool AddNamed(TInterfaceCollection& items, const Ref<IInterface>& item) {
  Ref<INamedObject> named = Query<INamedObject>(item);
  std::string name = named ? named->GetName() : std::string();
  return items.Add(item, name.empty(), -1, name) != nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TSound

void TSound::Initialize() {
  TPropertyObject::Initialize();
  SetNodeName("sound");
}

void TSound::SetProperty(std::string_view name, const TVariant& value) {
  if (name == "volume" || name == "pan") {
    if (!value.ConvertsToNumber()) return;
    (name == "volume" ? volume_ : pan_) = int(value.ToInt());
  } else if (name == "mutemusic") {
    muteMusic_ = value.ToBool(muteMusic_);
  } else if (name != "resourcename") {
    TPropertyObject::SetProperty(name, value);
  }
}

TVariant TSound::GetProperty(std::string_view name) const {
  if (name == "resourcename") return resourceName_;
  if (name == "volume") return volume_;
  if (name == "pan") return pan_;
  if (name == "mutemusic") return muteMusic_;
  return TPropertyObject::GetProperty(name);
}

void TSound::LoadProperties(const Ref<IHierStorage>& storage) {
  TPropertyObject::LoadProperties(storage);
  resourceName_ = ReadString(storage, "resourcename");
  volume_ = ReadInt(storage, "volume", -1);
  pan_ = ReadInt(storage, "pan", -101);
  muteMusic_ = ReadBool(storage, "mutemusic", false);
}

void TSound::SaveProperties(const Ref<IHierStorage>& storage) {
  TPropertyObject::SaveProperties(storage);
  WriteString(storage, "resourcename", true, resourceName_);
  WriteInt(storage, "volume", volume_ != -1, volume_);
  WriteInt(storage, "pan", pan_ != -101, pan_);
  WriteBool(storage, "mutemusic", muteMusic_, muteMusic_);
}

// ---------------------------------------------------------------------------------------------
// TMusic

void TMusic::Initialize() {
  TPropertyObject::Initialize();
  SetNodeName("music");
}

void TMusic::SetProperty(std::string_view name, const TVariant& value) {
  if (name == "resourcename")
    resourceName_ = value.ToString();
  else
    TPropertyObject::SetProperty(name, value);
}

TVariant TMusic::GetProperty(std::string_view name) const {
  if (name == "resourcename") return resourceName_;
  return TPropertyObject::GetProperty(name);
}

void TMusic::LoadProperties(const Ref<IHierStorage>& storage) {
  TPropertyObject::LoadProperties(storage);
  resourceName_ = ReadString(storage, "resourcename");
}

void TMusic::SaveProperties(const Ref<IHierStorage>& storage) {
  TPropertyObject::SaveProperties(storage);
  WriteString(storage, "resourcename", true, resourceName_);
}

// ---------------------------------------------------------------------------------------------
// Collections

void TSoundCollection::Initialize() {
  TStaticCreationPersistItemCollection::Initialize();
  SetNodeName("sounds");
  SetItemNodeName("sound");
  SetItemClass(TObjectClass::Of<TSound>());
}

bool TSoundCollection::Add(const Ref<ISound>& sound) {
  return sound && AddNamed(items_, Ref<IInterface>(sound));
}

void TSoundCollection::AddItem(const Ref<IInterface>& item) {
  if (Query<ISound>(item)) AddNamed(items_, item);
}

void TMusicCollection::Initialize() {
  TStaticCreationPersistItemCollection::Initialize();
  SetNodeName("musics");
  SetItemNodeName("music");
  SetItemClass(TObjectClass::Of<TMusic>());
}

bool TMusicCollection::Add(const Ref<IMusic>& music) {
  return music && AddNamed(items_, Ref<IInterface>(music));
}

void TMusicCollection::AddItem(const Ref<IInterface>& item) {
  if (Query<IMusic>(item)) AddNamed(items_, item);
}

// ---------------------------------------------------------------------------------------------

void RegisterSoundClasses() {
  RegisterObjectClass<TSound>("Sound");
  RegisterObjectClass<TMusic>("Music");
}

}  // namespace lumessa
