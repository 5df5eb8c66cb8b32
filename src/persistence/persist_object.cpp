#include "persistence/persist_object.h"

#include <typeinfo>

namespace lumessa {

// ---------------------------------------------------------------------------------------------
// Load and save protocol

void TPersistState::LoadPersistFields(const Ref<IHierStorage>& storage) {
  outStorageSpec_ = ReadString(storage, "_outstorage", "");
  isTemplate_ = ReadBool(storage, "template", false);
}

// Without "_outstorage" the content goes into the node itself. With it, the content is first
// written into a fresh document with the node's tag; EndSave then decides where it goes.
Ref<IHierStorage> TPersistState::BeginSave(const Ref<IHierStorage>& storage) {
  if (outStorageSpec_.empty()) return storage;
  return Query<IHierStorage>(CreateStorage(storage->GetNodeName()));
}

// Template mode: only the attributes that differ from the referenced file go into the node;
// the file itself is left alone. Otherwise the whole content rewrites the referenced file and
// the node keeps only the reference.
void TPersistState::EndSave(const Ref<IHierStorage>& storage, const Ref<IHierStorage>& target) {
  if (!outStorageSpec_.empty()) {
    if (isTemplate_) {
      Ref<IHierStorage> reference = OpenStorageSpec(outStorageSpec_);
      int count = target->GetValueCount();
      for (int i = 0; i < count; ++i) {
        std::string name = target->GetValueName(i);
        std::string value = target->ReadValueAt(i, "").ToString();
        std::string referenced = ReadString(reference, name, "");
        if (value != referenced) storage->WriteValue(name, value);
      }
    } else {
      SaveStorageToSpec(target, outStorageSpec_);
    }
  }
  if (isTemplate_) storage->WriteValue("template", "yes");
  if (!outStorageSpec_.empty()) storage->WriteValue("_outstorage", outStorageSpec_);
}

// ---------------------------------------------------------------------------------------------
// TPersistObject

void TPersistObject::Initialize() {
  TNamedObject::Initialize();
  typeName_ = FindTypeName(TObjectClass{&typeid(*this), nullptr});
  stored_ = true;
  isTemplate_ = false;
}

void TPersistObject::Load(const Ref<IHierStorage>& storage) {
  if (!storage) return;
  LoadPersistFields(storage);
  LoadProperties(storage);
}

void TPersistObject::Save(const Ref<IHierStorage>& storage) {
  SavePersistent(storage, [this](const Ref<IHierStorage>& target) { SaveProperties(target); });
}

bool TPersistObject::SaveContents(const Ref<IHierStorage>& storage) {
  SaveProperties(storage);
  return true;
}

void TPersistObject::LoadProperties(const Ref<IHierStorage>& storage) {
  SetName(ReadString(storage, "name", ""));
}

void TPersistObject::SaveProperties(const Ref<IHierStorage>& storage) {
  WriteString(storage, "name", !Name().empty(), Name());
  WriteString(storage, "type", !typeName_.empty(), typeName_);
}

// ---------------------------------------------------------------------------------------------
// TPropertyObject

void TPropertyObject::SetProperty(std::string_view name, const TVariant& value) {
  (void)name;
  (void)value;
}

TVariant TPropertyObject::GetProperty(std::string_view name) const {
  (void)name;
  return TVariant::Null;
}

TVariant TPropertyObject::GetPropertyDef(std::string_view name, const TVariant& fallback) const {
  TVariant v = GetProperty(name);
  return v.IsEmpty() ? fallback : v;
}

// ---------------------------------------------------------------------------------------------
// Collections

void TPersistCollection::Initialize() {
  TCollection::Initialize();
  Clear();
  stored_ = true;
}

void TPersistCollection::Load(const Ref<IHierStorage>& storage) {
  if (!storage) return;
  LoadPersistFields(storage);
  LoadItems(storage);
}

void TPersistCollection::Save(const Ref<IHierStorage>& storage) {
  SavePersistent(storage, [this](const Ref<IHierStorage>& target) { SaveItems(target); });
}

bool TPersistCollection::SaveContents(const Ref<IHierStorage>& storage) {
  SaveItems(storage);
  return true;
}

void TPersistCollection::LoadItem(const Ref<IHierStorage>& node) {
  (void)node;
}

bool TPersistCollection::SaveItem(const Ref<IInterface>& item, const Ref<IHierStorage>& node) {
  (void)item;
  (void)node;
  return false;
}

void TPersistCollection::LoadItems(const Ref<IHierStorage>& storage) {
  if (!storage) return;
  int count = storage->GetChildCount(itemNodeName_);
  for (int i = 0; i < count; ++i) LoadItem(storage->GetChild(itemNodeName_, i));
}

void TPersistCollection::SaveItems(const Ref<IHierStorage>& storage) {
  if (!storage) return;
  // A copy of the references: SaveItem may run code that changes the list.
  std::vector<Ref<IInterface>> items;
  items.reserve(size_t(items_.Count()));
  for (const auto& entry : items_) items.push_back(entry.item);
  for (const Ref<IInterface>& item : items) {
    Ref<IHierStorage> node = storage->AddChild(itemNodeName_);
    if (!node) continue;
    if (!SaveItem(item, node)) storage->RemoveChild(node);
  }
}

Ref<IInterface> TPersistItemCollection::CreateItem(const Ref<IHierStorage>& node) {
  (void)node;
  return {};
}

void TPersistItemCollection::AddItem(const Ref<IInterface>& item) {
  (void)item;
}

void TPersistItemCollection::LoadItem(const Ref<IHierStorage>& node) {
  Ref<IInterface> item = CreateItem(node);
  if (!item) return;
  if (Ref<IStorable> storable = Query<IStorable>(item)) storable->Load(node);
  AddItem(item);
}

bool TPersistItemCollection::SaveItem(const Ref<IInterface>& item, const Ref<IHierStorage>& node) {
  Ref<IStorable> storable = Query<IStorable>(item);
  if (!storable) return false;
  if (Ref<IPersistObject> persist = Query<IPersistObject>(item); persist && !persist->IsStored())
    return false;
  storable->Save(node);
  return true;
}

Ref<IInterface> TStaticCreationPersistItemCollection::CreateItem(const Ref<IHierStorage>& node) {
  (void)node;
  if (!itemClass_.construct) return {};
  return Ref<IInterface>(CreateObject(itemClass_));
}

Ref<IInterface> TTypedCreationPersistItemCollection::CreateItem(const Ref<IHierStorage>& node) {
  return Ref<IInterface>(CreateNamedObject(ReadString(node, "type"), ReadString(node, "name")));
}

// ---------------------------------------------------------------------------------------------
// Object helpers

Ref<TAbstractObject> CreateNamedObject(std::string_view typeSpec, std::string_view name) {
  Ref<TAbstractObject> obj = CreateObjectFromSpec(typeSpec);
  if (!name.empty())
    if (Ref<INamedObject> named = Query<INamedObject>(obj)) named->SetName(name);
  return obj;
}

bool LoadObject(const Ref<IInterface>& object, const Ref<IHierStorage>& storage) {
  Ref<IStorable> storable = Query<IStorable>(object);
  if (!storable) return false;
  storable->Load(storage);
  return true;
}

bool LoadObjectFromChild(const Ref<IInterface>& object, const Ref<IHierStorage>& storage,
                         std::string_view childName, int index) {
  Ref<IStorable> storable = Query<IStorable>(object);
  if (!storable || !storage) return false;
  std::string name(childName);
  if (name.empty()) name = storable->GetNodeName();
  if (index < 0 || index >= storage->GetChildCount(name)) return false;
  storable->Load(storage->GetChild(name, index));
  return true;
}

Ref<TAbstractObject> CreateAndLoad(const TObjectClass& cls, const Ref<IHierStorage>& storage,
                                   std::string_view childName, int index) {
  if (!storage) return {};
  if (!childName.empty() && (index < 0 || index >= storage->GetChildCount(childName))) return {};
  Ref<TAbstractObject> obj = CreateObject(cls);
  if (!obj || !LoadObjectFromChild(Ref<IInterface>(obj), storage, childName, index)) return {};
  return obj;
}

Ref<TAbstractObject> CreateFromNode(const Ref<IHierStorage>& storage) {
  if (!storage) return {};
  std::string name = ReadString(storage, "name");
  Ref<TAbstractObject> obj = CreateNamedObject(ReadString(storage, "type"), name);
  if (!obj || !LoadObject(Ref<IInterface>(obj), storage)) return {};
  return obj;
}

Ref<TAbstractObject> CreateFromChild(const Ref<IHierStorage>& storage, std::string_view childName,
                                     int index) {
  if (!storage) return {};
  return CreateFromNode(storage->GetChild(childName, index));
}

bool SaveObject(const Ref<IInterface>& object, const Ref<IHierStorage>& storage) {
  Ref<IStorable> storable = Query<IStorable>(object);
  if (!storable || !storage) return false;
  storable->Save(storage);
  return true;
}

bool SaveObjectToChild(const Ref<IInterface>& object, const Ref<IHierStorage>& storage,
                       std::string_view childName) {
  Ref<IStorable> storable = Query<IStorable>(object);
  if (!storable || !storage) return false;
  std::string name(childName);
  if (name.empty()) name = storable->GetNodeName();
  if (name.empty()) return false;
  if (Ref<IPersistObject> persist = Query<IPersistObject>(object); persist && !persist->IsStored())
    return true;
  Ref<IHierStorage> child = storage->AddChild(name);
  if (!child) return false;
  storable->Save(child);
  return true;
}

void RegisterPersistenceClasses() {}

}  // namespace lumessa
