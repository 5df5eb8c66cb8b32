#include "resources/resource_catalogue.h"

#include <algorithm>
#include <vector>

#include "engine/log.h"
#include "resources/font_resource.h"
#include "resources/image_resource.h"
#include "resources/sound_resource.h"

namespace lumessa {

// ---------------------------------------------------------------------------------------------
// TResource

void TResource::Initialize() {
  TPersistObject::Initialize();
  SetNodeName("resource");
}

void TResource::Load() {
  pending_ = false;
}

void TResource::Unload() {
  pending_ = true;
}

void TResource::SetOwner(IResourceOwner* owner) {
  owner_ = owner;
  if (!pending_) Load();
}

void TResource::ReleaseResource() {
  Unload();
  owner_ = nullptr;
}

void TResource::LoadIfPending() {
  if (pending_ && owner_) Load();
}

std::string TResource::Describe() const {
  return (TypeName().empty() ? std::string("resource") : TypeName()) + " \"" + GetName() + "\"";
}

void TResource::LoadProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::LoadProperties(storage);
  fileName_ = ReadString(storage, "file", "");
  pending_ = ReadBool(storage, "loadbydemand", false);
}

void TResource::SaveProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::SaveProperties(storage);
  WriteString(storage, "file", true, fileName_);
  WriteBool(storage, "loadbydemand", pending_, true);
}

// ---------------------------------------------------------------------------------------------
// TResourceCollection

void TResourceCollection::Initialize() {
  TTypedCreationPersistItemCollection::Initialize();
  SetNodeName("resources");
  SetItemNodeName("resource");
}

bool TResourceCollection::Add(const Ref<IResource>& resource) {
  if (!resource) return false;
  return items_.Add(Ref<IInterface>(resource), false, -1, resource->GetName()) != nullptr;
}

void TResourceCollection::RemoveGroup(std::string_view group) {
  for (int i = items_.Count() - 1; i >= 0; --i) {
    if (i >= items_.Count()) continue;
    Ref<IInterface> item = *items_.AtIndex(i);
    Ref<IResource> resource = Query<IResource>(item);
    if (!group.empty() && (!resource || resource->GetGroup() != group)) continue;
    if (resource) resource->ReleaseResource();
    // Releasing runs the owner's code, which may have reached back into the catalogue: the
    // entry is removed where it is now.
    for (int j = std::min(i, items_.Count() - 1); j >= 0; --j) {
      if (items_.AtIndex(j)->get() == item.get()) {
        items_.DeleteAt(j);
        break;
      }
    }
  }
}

Ref<IInterface> TResourceCollection::CreateItem(const Ref<IHierStorage>& node) {
  Ref<IInterface> item = TTypedCreationPersistItemCollection::CreateItem(node);
  if (!Query<IResource>(item)) {
    Log("resource \"%s\": \"%s\" is no resource type; skipped", ReadString(node, "name").c_str(),
        ReadString(node, "type").c_str());
    return {};
  }
  return item;
}

void TResourceCollection::AddItem(const Ref<IInterface>& item) {
  Ref<IResource> resource = Query<IResource>(item);
  if (resource && !Add(resource))
    Log("resource \"%s\" is listed twice; the second is skipped", resource->GetName().c_str());
}

void TResourceCollection::LoadItems(const Ref<IHierStorage>& storage) {
  if (!storage) return;
  // Every child element is a resource, whatever its tag; text between them is not.
  int count = storage->GetChildCount("");
  for (int i = 0; i < count; ++i) {
    Ref<IHierStorage> node = storage->GetChild("", i);
    if (node && !node->GetNodeName().empty()) LoadItem(node);
  }
}

// ---------------------------------------------------------------------------------------------
// TGroupResource

namespace {

// The members as resources, copied first: what they run may not change the list under us.
std::vector<Ref<IResource>> MembersOf(const TResourceCollection& members) {
  std::vector<Ref<IResource>> list;
  list.reserve(size_t(members.Count()));
  for (const auto& entry : members.Items())
    if (Ref<IResource> r = Query<IResource>(entry.item)) list.push_back(std::move(r));
  return list;
}

}  // namespace

void TGroupResource::Initialize() {
  TResource::Initialize();
  members_ = NewObject<TResourceCollection>();
}

void TGroupResource::Load() {
  TResource::Load();
  for (const Ref<IResource>& member : MembersOf(*members_)) member->Load();
}

void TGroupResource::Unload() {
  TResource::Unload();
  for (const Ref<IResource>& member : MembersOf(*members_)) member->Unload();
}

void TGroupResource::SetOwner(IResourceOwner* owner) {
  // Not the inherited SetOwner: the group's Load would load every member, even those that wait
  // for their first use.
  AssignOwner(owner);
  for (const Ref<IResource>& member : MembersOf(*members_)) member->SetOwner(owner);
}

void TGroupResource::ReleaseResource() {
  for (const Ref<IResource>& member : MembersOf(*members_)) member->ReleaseResource();
  members_->Clear();
  TResource::ReleaseResource();
}

void TGroupResource::LoadProperties(const Ref<IHierStorage>& storage) {
  TResource::LoadProperties(storage);
  members_->Reset();
  LoadObjectFromChild(Ref<IInterface>(members_), storage, "resources", 0);
}

void TGroupResource::SaveProperties(const Ref<IHierStorage>& storage) {
  SaveObjectToChild(Ref<IInterface>(members_), storage, "resources");
  TResource::SaveProperties(storage);
}

// ---------------------------------------------------------------------------------------------
// Resource files

void TResourceFile::Initialize() {
  TPersistObject::Initialize();
  SetNodeName("resourcefile");
}

void TResourceFile::SetLoadMode(int mode) {
  if (mode == lmSynch || mode == lmAsynch) loadMode_ = mode;
}

void TResourceFile::LoadProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::LoadProperties(storage);
  fileName_ = ReadString(storage, "filename", "");
  loadMode_ = ReadEnum(storage, "loadmode", kResourceLoadModeChoices, lmAsynch);
}

void TResourceFile::SaveProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::SaveProperties(storage);
  WriteString(storage, "filename", true, fileName_);
  WriteEnum(storage, "loadmode", kResourceLoadModeChoices, loadMode_ != lmAsynch, loadMode_);
}

void TResourceFileCollection::Initialize() {
  TStaticCreationPersistItemCollection::Initialize();
  SetNodeName("resourcefiles");
  SetItemNodeName("resourcefile");
  SetItemClass(TObjectClass::Of<TResourceFile>());
}

bool TResourceFileCollection::Add(const Ref<IResourceFile>& file) {
  if (!file) return false;
  std::string name = file->GetName();
  return items_.Add(Ref<IInterface>(file), name.empty(), -1, name) != nullptr;
}

void TResourceFileCollection::AddItem(const Ref<IInterface>& item) {
  Ref<IResourceFile> file = Query<IResourceFile>(item);
  if (file && !Add(file))
    Log("resource file \"%s\" is listed twice; the second is skipped", file->GetName().c_str());
}

// ---------------------------------------------------------------------------------------------

void RegisterResourceClasses() {
  RegisterObjectClass<TResourceFile>("ResourceFile");
  RegisterObjectClass<TImageResource>("ImageResource");
  RegisterObjectClass<TFontResource>("FontResource");
  RegisterObjectClass<TFontSubstituteResource>("FontSubstituteResource");
  RegisterObjectClass<TSoundResource>("SoundResource");
  RegisterObjectClass<TMusicResource>("MusicResource");
  RegisterObjectClass<TSoundGroupResource>("SoundGroupResource");
  RegisterObjectClass<TMusicGroupResource>("MusicGroupResource");
}

}  // namespace lumessa
