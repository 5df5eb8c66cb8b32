// The persistent object model: objects created from a "type" name in a data file, named by
// their "name" attribute, loading and saving themselves through an IHierStorage node.
//
//   IStorable, IPersistObject, IPropertyObject   the interfaces
//   TPersistObject, TPropertyObject              the base classes of persistent objects
//   TPersistCollection, TPersistItemCollection   collections that load items from repeated
//     TStaticCreationPersistItemCollection       child elements, creating each as one fixed
//     TTypedCreationPersistItemCollection        class or by the item's own "type"
//   object helpers                               CreateNamedObject, CreateFromNode, ...
//
// Reserved attributes on every persistent node: "name", "type", "template" ("yes": the node only
// overrides the attributes of its "_outstorage" file) and "_outstorage" (a storage reference whose
// file supplies the node's defaults and receives its saved content).
#pragma once

#include <string>
#include <string_view>

#include "engine/collection.h"
#include "engine/object.h"
#include "engine/variant.h"
#include "persistence/xml_storage.h"

namespace lumessa {

class IStorable : public virtual IInterface {
 public:
  virtual void Load(const Ref<IHierStorage>& storage) = 0;
  virtual void Save(const Ref<IHierStorage>& storage) = 0;
  // The tag this object's node has when an owner stores it.
  virtual std::string GetNodeName() const = 0;
};

class IPersistObject : public virtual IStorable {
 public:
  // Saves the object's content into storage; true when something was written.
  virtual bool SaveContents(const Ref<IHierStorage>& storage) = 0;
  // Whether the object is written when its owner saves.
  virtual bool IsStored() const = 0;
  virtual void SetStored(bool stored) = 0;
  // Back to empty before a reload (collections clear their items).
  virtual void Reset() = 0;
};

// Named properties as variants, for scripts, scenarios and settings.
class IPropertyObject : public virtual INamedObject {
 public:
  virtual void SetProperty(std::string_view name, const TVariant& value) = 0;
  // Null for an unknown name.
  virtual TVariant GetProperty(std::string_view name) const = 0;
  // GetProperty, with `fallback` when the answer is Unassigned or Null (not known).
  virtual TVariant GetPropertyDef(std::string_view name, const TVariant& fallback) const = 0;
};

// Makes an object of a fixed class and runs its Initialize.
template <class T>
Ref<T> NewObject() {
  Ref<T> obj = MakeRef<T>();
  obj->Initialize();
  return obj;
}

// The persistence fields and the Load/Save protocol shared by objects and collections.
class TPersistState {
 public:
  const std::string& OutStorageSpec() const { return outStorageSpec_; }
  bool IsTemplateNode() const { return isTemplate_; }

 protected:
  // Reads "_outstorage" and "template".
  void LoadPersistFields(const Ref<IHierStorage>& storage);
  // Runs saveContent into the node (or into a fresh document for "_outstorage"), then writes
  // the template attributes; see the .cpp for the two "_outstorage" modes.
  template <class F>
  void SavePersistent(const Ref<IHierStorage>& storage, F&& saveContent);

  std::string outStorageSpec_;
  bool isTemplate_ = false;
  bool stored_ = true;
  std::string nodeName_;

 private:
  Ref<IHierStorage> BeginSave(const Ref<IHierStorage>& storage);
  void EndSave(const Ref<IHierStorage>& storage, const Ref<IHierStorage>& target);
};

template <class F>
void TPersistState::SavePersistent(const Ref<IHierStorage>& storage, F&& saveContent) {
  if (!storage) return;
  Ref<IHierStorage> target = BeginSave(storage);
  if (!target) return;
  saveContent(target);
  EndSave(storage, target);
}

// Base of persistent objects.
class TPersistObject : public TNamedObject, public virtual IPersistObject, public TPersistState {
 public:
  // TypeName := the registered name of the class; Stored := true; IsTemplate := false.
  void Initialize() override;

  // IStorable / IPersistObject
  void Load(const Ref<IHierStorage>& storage) override;
  void Save(const Ref<IHierStorage>& storage) override;
  std::string GetNodeName() const override { return nodeName_; }
  bool SaveContents(const Ref<IHierStorage>& storage) override;
  bool IsStored() const override { return stored_; }
  void SetStored(bool stored) override { stored_ = stored; }
  void Reset() override {}

  const std::string& TypeName() const { return typeName_; }

 protected:
  // Base: the name ("name"; a node without one clears the name).
  virtual void LoadProperties(const Ref<IHierStorage>& storage);
  // Base: "name" when non-empty, "type" when the class is registered.
  virtual void SaveProperties(const Ref<IHierStorage>& storage);
  void SetNodeName(std::string_view name) { nodeName_ = name; }

 private:
  std::string typeName_;
};

// A persistent object with properties by name. Subclasses answer their own names and pass the
// rest to the inherited implementation.
class TPropertyObject : public TPersistObject, public virtual IPropertyObject {
 public:
  void SetProperty(std::string_view name, const TVariant& value) override;
  TVariant GetProperty(std::string_view name) const override;
  TVariant GetPropertyDef(std::string_view name, const TVariant& fallback) const override;
};

// A collection that loads and saves its items as repeated child elements.
class TPersistCollection : public TCollection, public virtual IPersistObject, public TPersistState {
 public:
  void Initialize() override;

  // IStorable / IPersistObject
  void Load(const Ref<IHierStorage>& storage) override;
  void Save(const Ref<IHierStorage>& storage) override;
  std::string GetNodeName() const override { return nodeName_; }
  bool SaveContents(const Ref<IHierStorage>& storage) override;
  bool IsStored() const override { return stored_; }
  void SetStored(bool stored) override { stored_ = stored; }
  void Reset() override { Clear(); }

  const std::string& ItemNodeName() const { return itemNodeName_; }

 protected:
  // Base: nothing.
  virtual void LoadItem(const Ref<IHierStorage>& node);
  // Base: false (nothing saved; the node is removed).
  virtual bool SaveItem(const Ref<IInterface>& item, const Ref<IHierStorage>& node);
  // Every ItemNodeName child, in order.
  virtual void LoadItems(const Ref<IHierStorage>& storage);
  // One ItemNodeName child per item; a child whose SaveItem fails is removed again.
  virtual void SaveItems(const Ref<IHierStorage>& storage);

  void SetNodeName(std::string_view name) { nodeName_ = name; }
  void SetItemNodeName(std::string_view name) { itemNodeName_ = name; }

 private:
  std::string itemNodeName_;
};

// Items are created per node, loaded when storable, then handed to AddItem.
class TPersistItemCollection : public TPersistCollection {
 protected:
  // Base: nothing.
  virtual Ref<IInterface> CreateItem(const Ref<IHierStorage>& node);
  // Base: nothing (subclasses insert into their list).
  virtual void AddItem(const Ref<IInterface>& item);

  void LoadItem(const Ref<IHierStorage>& node) override;
  // Unstorable items and items that are not to be stored give false.
  bool SaveItem(const Ref<IInterface>& item, const Ref<IHierStorage>& node) override;
};

// Every item is the same class.
class TStaticCreationPersistItemCollection : public TPersistItemCollection {
 public:
  void SetItemClass(const TObjectClass& cls) { itemClass_ = cls; }
  const TObjectClass& ItemClass() const { return itemClass_; }

 protected:
  Ref<IInterface> CreateItem(const Ref<IHierStorage>& node) override;

 private:
  TObjectClass itemClass_;
};

// Every item is created by its node's "type" and named by its "name".
class TTypedCreationPersistItemCollection : public TPersistItemCollection {
 protected:
  Ref<IInterface> CreateItem(const Ref<IHierStorage>& node) override;
};

// ---------------------------------------------------------------------------------------------
// Object helpers

// CreateObjectFromSpec(typeSpec), named when it is an INamedObject and name is non-empty.
Ref<TAbstractObject> CreateNamedObject(std::string_view typeSpec, std::string_view name);
// Load(storage) when the object is storable.
bool LoadObject(const Ref<IInterface>& object, const Ref<IHierStorage>& storage);
// Loads from the index-th child named childName (empty: the object's node name).
bool LoadObjectFromChild(const Ref<IInterface>& object, const Ref<IHierStorage>& storage,
                         std::string_view childName, int index);
// A new object of the class loaded from that child; empty when there is no such child or the
// object does not load.
Ref<TAbstractObject> CreateAndLoad(const TObjectClass& cls, const Ref<IHierStorage>& storage,
                                   std::string_view childName, int index);
// The object named by the node's "type" and "name", loaded from the node; empty when the type is
// unknown or the object is not storable.
Ref<TAbstractObject> CreateFromNode(const Ref<IHierStorage>& storage);
Ref<TAbstractObject> CreateFromChild(const Ref<IHierStorage>& storage, std::string_view childName,
                                     int index);
// Save(storage) when the object is storable.
bool SaveObject(const Ref<IInterface>& object, const Ref<IHierStorage>& storage);
// Saves into a new child named childName (empty: the object's node name). An object that is not
// to be stored answers true without writing.
bool SaveObjectToChild(const Ref<IInterface>& object, const Ref<IHierStorage>& storage,
                       std::string_view childName);

// Registers this module's creatable classes with the class registry. None of its classes has a
// type name of its own (parameters and collections are created by class, and a registered
// TParam would start writing "type" into every saved "param"), so it adds nothing today; it is
// the one place such a registration goes, called once at start-up with the other modules'.
void RegisterPersistenceClasses();

}  // namespace lumessa
