// Parameters: named variant values (TParam), their collections (TParamCollection) and the base
// of definition objects whose properties are simply a list of parameters
// (TParamsPropertyObject).
//
// On disk a collection is an element holding one "param" child per parameter, each with "name"
// and "value"; loaded values are always text.
#pragma once

#include <string>
#include <string_view>

#include "engine/params.h"
#include "persistence/persist_object.h"

namespace lumessa {

// A named value. Node "param": "name" and "value" (kept as text on load).
class TParam : public TPersistObject, public virtual IParam {
 public:
  void Initialize() override;
  TVariant GetValue() const override { return value_; }
  void SetValue(const TVariant& value) override { value_ = value; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  // "name" when non-empty, "type" when registered, and "value" as text, always.
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  TVariant value_;
};

// Parameters keyed by name (ignoring case). Node "params", items "param". Creation parameters
// ("name=value\...") become parameters.
class TParamCollection : public TPersistCollection, public virtual IParamCollection {
 public:
  void Initialize() override;
  void SetCreationParam(std::string_view name, std::string_view value) override;

  // IParamCollection
  Ref<IParam> Get(const TVariant& key) const override { return GetAs<IParam>(key); }
  bool Add(const Ref<IParam>& param) override;
  void SetValue(std::string_view name, const TVariant& value) override;
  TVariant GetValue(std::string_view name, const TVariant& fallback = {}) const override;

 protected:
  // A later "param" of a name already present overwrites its value.
  void LoadItem(const Ref<IHierStorage>& node) override;
  // Parameters only; other items leave no element.
  bool SaveItem(const Ref<IInterface>& item, const Ref<IHierStorage>& node) override;
};

class IParamsPropertyObject : public virtual IPropertyObject {
 public:
  virtual Ref<IParamCollection> GetParams() const = 0;
};

// A definition object whose properties by name are its parameters, stored in its "properties"
// child. Subclasses answer their own property names first and defer the rest here, so any other
// name is a free parameter.
class TParamsPropertyObject : public TPropertyObject, public virtual IParamsPropertyObject {
 public:
  void Initialize() override;
  Ref<IParamCollection> GetParams() const override { return params_; }

  // The parameter's value, or Null.
  TVariant GetProperty(std::string_view name) const override;
  // Sets (creating) the parameter.
  void SetProperty(std::string_view name, const TVariant& value) override;

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  Ref<TParamCollection> params_;
};

// A new collection with a copy of every parameter's name and value, in order. Items of the
// source that are not parameters are skipped.
Ref<IParamCollection> CloneParams(const Ref<IParamCollection>& source);

}  // namespace lumessa
