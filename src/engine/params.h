// The parameter interfaces: named variant values and their collections. They are declared here,
// at the bottom of the engine, because surfaces and the engine settings speak them; the
// persistent implementations (TParam, TParamCollection) live with the persistence layer.
#pragma once

#include <string_view>

#include "engine/collection.h"
#include "engine/variant.h"

namespace lumessa {

class IParam : public virtual INamedObject {
 public:
  virtual TVariant GetValue() const = 0;
  virtual void SetValue(const TVariant& value) = 0;
};

class IParamCollection : public virtual ICollection {
 public:
  // By index or by name; empty when absent.
  virtual Ref<IParam> Get(const TVariant& key) const = 0;
  // Keyed by the parameter's name; a second parameter of the same name is not added.
  virtual bool Add(const Ref<IParam>& param) = 0;
  // Sets the named parameter's value, appending a new parameter when absent.
  virtual void SetValue(std::string_view name, const TVariant& value) = 0;
  // The named parameter's value, or `fallback` when absent.
  virtual TVariant GetValue(std::string_view name, const TVariant& fallback = {}) const = 0;
};

}  // namespace lumessa
