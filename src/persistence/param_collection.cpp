#include "persistence/param_collection.h"

namespace lumessa {

// ---------------------------------------------------------------------------------------------
// TParam

void TParam::Initialize() {
  TPersistObject::Initialize();
  SetNodeName("param");
}

void TParam::LoadProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::LoadProperties(storage);
  value_ = TVariant(ReadString(storage, "value", ""));
}

void TParam::SaveProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::SaveProperties(storage);
  WriteString(storage, "value", true, value_.ToString());
}

// ---------------------------------------------------------------------------------------------
// TParamCollection

void TParamCollection::Initialize() {
  TPersistCollection::Initialize();
  SetNodeName("params");
  SetItemNodeName("param");
}

void TParamCollection::SetCreationParam(std::string_view name, std::string_view value) {
  SetValue(name, TVariant(value));
}

bool TParamCollection::Add(const Ref<IParam>& param) {
  if (!param) return false;
  return items_.Add(Ref<IInterface>(param), false, -1, param->GetName()) != nullptr;
}

void TParamCollection::SetValue(std::string_view name, const TVariant& value) {
  if (Ref<IParam> existing = GetAs<IParam>(TVariant(name))) {
    existing->SetValue(value);
    return;
  }
  Ref<TParam> param = NewObject<TParam>();
  param->SetName(name);
  param->SetValue(value);
  Add(param);
}

TVariant TParamCollection::GetValue(std::string_view name, const TVariant& fallback) const {
  Ref<IParam> param = GetAs<IParam>(TVariant(name));
  return param ? param->GetValue() : fallback;
}

void TParamCollection::LoadItem(const Ref<IHierStorage>& node) {
  SetValue(ReadString(node, "name", ""), TVariant(ReadString(node, "value", "")));
}

bool TParamCollection::SaveItem(const Ref<IInterface>& item, const Ref<IHierStorage>& node) {
  Ref<IParam> param = Query<IParam>(item);
  if (!param) return false;
  if (Ref<IPersistObject> persist = Query<IPersistObject>(item)) {
    if (!persist->IsStored()) return false;
    persist->Save(node);
    return true;
  }
  // A parameter implemented elsewhere, without persistence of its own.
  node->WriteValue("name", param->GetName());
  node->WriteValue("value", param->GetValue().ToString());
  return true;
}

// ---------------------------------------------------------------------------------------------
// TParamsPropertyObject

void TParamsPropertyObject::Initialize() {
  TPropertyObject::Initialize();
  SetNodeName("properties");
  params_ = NewObject<TParamCollection>();
}

TVariant TParamsPropertyObject::GetProperty(std::string_view name) const {
  return params_->GetValue(name, TVariant::Null);
}

void TParamsPropertyObject::SetProperty(std::string_view name, const TVariant& value) {
  params_->SetValue(name, value);
}

void TParamsPropertyObject::LoadProperties(const Ref<IHierStorage>& storage) {
  TPropertyObject::LoadProperties(storage);
  LoadObjectFromChild(Ref<IInterface>(params_), storage, "properties", 0);
}

void TParamsPropertyObject::SaveProperties(const Ref<IHierStorage>& storage) {
  TPropertyObject::SaveProperties(storage);
  SaveObjectToChild(Ref<IInterface>(params_), storage, "properties");
}

// ---------------------------------------------------------------------------------------------

Ref<IParamCollection> CloneParams(const Ref<IParamCollection>& source) {
  Ref<TParamCollection> copy = NewObject<TParamCollection>();
  if (!source) return copy;
  int count = source->Count();
  for (int i = 0; i < count; ++i) {
    if (Ref<IParam> param = source->Get(TVariant(i)))
      copy->SetValue(param->GetName(), param->GetValue());
  }
  return copy;
}

}  // namespace lumessa
