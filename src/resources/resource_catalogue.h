// The resource catalogue: the base of every resource kind, the collection the engine keeps them
// in, groups of resources, and the list of resource files a game loads.
//
//   TResource                 name, group, data file, owner, and load on demand ("loadbydemand")
//   TResourceCollection       resources keyed by name, created by "type"; RemoveGroup
//   TGroupResource            a resource made of member resources (child "resources")
//   TResourceFile(Collection) the resource files of a game ("resourcefiles"/"resourcefile")
//   RegisterResourceClasses   the type names of this module
//
// The kinds themselves live in image_resource.h, font_resource.h and sound_resource.h.
#pragma once

#include <string>
#include <string_view>

#include "engine/random.h"
#include "persistence/persist_object.h"
#include "resources/resource.h"

namespace lumessa {

// Base of every resource: node "resource" with "name", "type", "file" and "loadbydemand".
//
// Pending is true while the data is not loaded; "loadbydemand" = "yes" sets it on load, so the
// resource stays pending when it gets its owner and loads on first use instead.
class TResource : public TPersistObject, public virtual IResource {
 public:
  void Initialize() override;

  // IResource
  std::string GetGroup() const override { return group_; }
  void SetGroup(std::string_view group) override { group_ = group; }
  // Both loads: from storage (persistence) and of the data (IResource).
  using TPersistObject::Load;
  // Pending := false; subclasses then load their data (when they have an owner).
  void Load() override;
  // Pending := true; subclasses then drop their data.
  void Unload() override;
  // Owner := owner; Load unless pending.
  void SetOwner(IResourceOwner* owner) override;
  // Unload, then forget the owner.
  void ReleaseResource() override;

  const std::string& FileName() const { return fileName_; }
  void SetFileName(std::string_view fileName) { fileName_ = fileName; }
  bool IsPending() const { return pending_; }
  // Not owned: the owner (the engine) owns the catalogue, and releases every resource before
  // it goes.
  IResourceOwner* Owner() const { return owner_; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  // "file" always; "loadbydemand" only when pending.
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  // Load now if the data still waits for its first use and an owner can provide it.
  void LoadIfPending();
  // Owner := owner, without loading (groups leave that to each member).
  void AssignOwner(IResourceOwner* owner) { owner_ = owner; }
  // Kind "name", for the log.
  std::string Describe() const;

 private:
  std::string group_;
  std::string fileName_;
  IResourceOwner* owner_ = nullptr;
  bool pending_ = false;
};

// Resources keyed by name (ignoring ASCII case). As a stored collection (the members of a
// group) every child element is a resource created by its "type"; it saves them as "resource".
class TResourceCollection : public TTypedCreationPersistItemCollection,
                            public virtual IResourceCollection {
 public:
  void Initialize() override;

  // IResourceCollection
  void RemoveGroup(std::string_view group) override;
  Ref<IResource> Get(const TVariant& key) const override { return GetAs<IResource>(key); }
  bool Add(const Ref<IResource>& resource) override;

 protected:
  Ref<IInterface> CreateItem(const Ref<IHierStorage>& node) override;
  void AddItem(const Ref<IInterface>& item) override;
  void LoadItems(const Ref<IHierStorage>& storage) override;
};

// A resource made of members: the child "resources", whose child elements are resources.
// Owner, Load and Unload pass through to every member; ReleaseResource releases them all and
// drops them.
class TGroupResource : public TResource {
 public:
  void Initialize() override;

  using TResource::Load;
  void Load() override;
  void Unload() override;
  // Every member gets the owner (and loads unless it is pending itself).
  void SetOwner(IResourceOwner* owner) override;
  void ReleaseResource() override;

  const Ref<TResourceCollection>& Members() const { return members_; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  // The members first (child "resources"), then the resource's own attributes.
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  // A uniformly random member that answers I (from the program's generator), or nothing.
  template <class I>
  Ref<I> PickMember() const;

 private:
  Ref<TResourceCollection> members_;
};

template <class I>
Ref<I> TGroupResource::PickMember() const {
  int count = 0;
  for (const auto& entry : members_->Items())
    if (dynamic_cast<I*>(entry.item.get())) ++count;
  if (count == 0) return {};
  int64_t pick = ProgramRandom().NextInt(count);
  for (const auto& entry : members_->Items())
    if (Ref<I> member = Query<I>(entry.item); member && pick-- == 0) return member;
  return {};
}

// "loadmode": synch files load at start-up, asynch ones while the splash screen animates.
enum TResourceLoadMode : int { lmSynch = 0, lmAsynch = 1 };
inline constexpr std::string_view kResourceLoadModeChoices = "/synch/asynch";

class IResourceFile : public virtual INamedObject {
 public:
  virtual std::string GetFileName() const = 0;
  virtual void SetFileName(std::string_view fileName) = 0;
  // A TResourceLoadMode.
  virtual int GetLoadMode() const = 0;
  virtual void SetLoadMode(int mode) = 0;
};

// One resource file of a game: node "resourcefile" with "name", "filename" (always written)
// and "loadmode" (default asynch).
class TResourceFile : public TPersistObject, public virtual IResourceFile {
 public:
  void Initialize() override;

  std::string GetFileName() const override { return fileName_; }
  void SetFileName(std::string_view fileName) override { fileName_ = fileName; }
  int GetLoadMode() const override { return loadMode_; }
  void SetLoadMode(int mode) override;

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  std::string fileName_;
  int loadMode_ = lmAsynch;
};

class IResourceFileCollection : public virtual ICollection {
 public:
  virtual Ref<IResourceFile> Get(const TVariant& key) const = 0;
  virtual bool Add(const Ref<IResourceFile>& file) = 0;
};

// Node "resourcefiles", items "resourcefile", keyed by name. Files without a name are kept under
// an automatic key, so a list of unnamed files loses none of them.
class TResourceFileCollection : public TStaticCreationPersistItemCollection,
                                public virtual IResourceFileCollection {
 public:
  void Initialize() override;

  Ref<IResourceFile> Get(const TVariant& key) const override { return GetAs<IResourceFile>(key); }
  bool Add(const Ref<IResourceFile>& file) override;

 protected:
  void AddItem(const Ref<IInterface>& item) override;
};

// Registers "ResourceFile" and the resource kinds: "ImageResource", "FontResource",
// "FontSubstituteResource", "SoundResource", "MusicResource", "SoundGroupResource" and
// "MusicGroupResource". Called once at start-up.
void RegisterResourceClasses();

}  // namespace lumessa
