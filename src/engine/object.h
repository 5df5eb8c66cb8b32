// The object model: intrusive reference counting, interfaces, the class registry and creation
// parameters.
//
//   IInterface        root of every interface; AddRef/Release
//   TAbstractObject   the reference-counted base with the two construction hooks
//   Ref<T>            the one smart pointer
//   Query<I>(obj)     asks an object for an interface; an absent interface is an empty Ref
//   class registry    type names (case-insensitive) -> factories; CreateObject,
//   CreateObjectFromSpec
#pragma once

#include <concepts>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <typeinfo>
#include <utility>
#include <vector>

namespace lumessa {

// Root of every interface. Interfaces derive from it virtually, so one object answers several.
class IInterface {
 public:
  virtual void AddRef() noexcept = 0;
  virtual void Release() noexcept = 0;

 protected:
  virtual ~IInterface() = default;
};

// Intrusive smart pointer; holds one reference while non-empty.
template <class T>
class Ref {
 public:
  Ref() noexcept = default;
  Ref(std::nullptr_t) noexcept {}
  // Takes a new reference to p (the object's count starts at 0, so wrapping a fresh object is
  // what keeps it alive).
  Ref(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  Ref(const Ref& o) noexcept : Ref(o.p_) {}
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  requires std::convertible_to<U*, T*> Ref(const Ref<U>& o)
  noexcept : Ref(o.get()) {}
  template <class U>
  requires std::convertible_to<U*, T*> Ref(Ref<U>&& o)
  noexcept : p_(o.Detach()) {}
  ~Ref() { reset(); }

  Ref& operator=(Ref o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  void reset() noexcept {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Gives up the reference without releasing it (the caller now owns it).
  T* Detach() noexcept { return std::exchange(p_, nullptr); }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  friend bool operator==(const Ref& a, const Ref& b) noexcept { return a.p_ == b.p_; }
  friend bool operator==(const Ref& a, std::nullptr_t) noexcept { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

// Makes a new object and takes the first reference.
template <class T, class... Args>
Ref<T> MakeRef(Args&&... args) {
  return Ref<T>(new T(std::forward<Args>(args)...));
}

// Asks an object for an interface. Empty when the object is empty or does not implement it.
template <class I, class T>
Ref<I> Query(T* obj) noexcept {
  return Ref<I>(dynamic_cast<I*>(obj));
}
template <class I, class T>
Ref<I> Query(const Ref<T>& obj) noexcept {
  return Query<I>(obj.get());
}

// A cast that must succeed: the creator knows the object implements the interface.
class TInterfaceMissing : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};
template <class I, class T>
Ref<I> Require(const Ref<T>& obj) {
  Ref<I> r = Query<I>(obj);
  if (!r) throw TInterfaceMissing(std::string("object does not implement ") + typeid(I).name());
  return r;
}

// Base of every engine object: the reference count and the two construction hooks.
class TAbstractObject : public virtual IInterface {
 public:
  TAbstractObject() = default;
  TAbstractObject(const TAbstractObject&) = delete;
  TAbstractObject& operator=(const TAbstractObject&) = delete;

  void AddRef() noexcept override { ++refCount_; }
  void Release() noexcept override {
    if (--refCount_ == 0) delete this;
  }
  int RefCount() const noexcept { return refCount_; }

  // Called once right after construction, before any creation parameter. Overrides create their
  // owned members here and call the inherited one first.
  virtual void Initialize() {}
  // Called once per creation parameter, in order. The base ignores it.
  virtual void SetCreationParam(std::string_view name, std::string_view value) {
    (void)name;
    (void)value;
  }

 protected:
  ~TAbstractObject() override = default;

 private:
  int refCount_ = 0;  // main thread only
};

// ---------------------------------------------------------------------------------------------
// Class registry

// A creatable class: its C++ type and a factory that constructs it (without Initialize).
struct TObjectClass {
  const std::type_info* type = nullptr;
  TAbstractObject* (*construct)() = nullptr;

  template <class T>
  requires std::derived_from<T, TAbstractObject>
  static TObjectClass Of() {
    return {&typeid(T), []() -> TAbstractObject* { return new T(); }};
  }
  friend bool operator==(const TObjectClass& a, const TObjectClass& b) {
    return a.type && b.type && *a.type == *b.type;
  }
};

class TDuplicateClass : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// Adds the pair. Registering a type name twice is a start-up error (TDuplicateClass).
void RegisterObjectClass(const TObjectClass& cls, std::string_view typeName);
template <class T>
void RegisterObjectClass(std::string_view typeName) {
  RegisterObjectClass(TObjectClass::Of<T>(), typeName);
}
// Removes a registration; for tests that register classes of their own.
void UnregisterObjectClass(std::string_view typeName);
// The class registered under typeName (case-insensitive), or an empty class.
TObjectClass FindObjectClass(std::string_view typeName);
// The name the class is registered under, or empty.
std::string FindTypeName(const TObjectClass& cls);
template <class T>
std::string FindTypeName() {
  return FindTypeName(TObjectClass::Of<T>());
}

// Constructs the object, calls Initialize, then SetCreationParam for each pair of the creation
// parameters. Empty for an empty class.
Ref<TAbstractObject> CreateObject(const TObjectClass& cls, std::string_view creationParams = {});
// "TypeName" or "TypeName{name=value\...}"; empty for an unknown type name.
Ref<TAbstractObject> CreateObjectFromSpec(std::string_view typeSpec);
// The object registered under typeName, without creation parameters; empty if unknown.
Ref<TAbstractObject> CreateObjectByType(std::string_view typeName);

// ---------------------------------------------------------------------------------------------
// Parameter lists: "name=value\name=value", values in braces may nest.

// Top-level split at separator; blanks and control characters around the text are trimmed,
// empty items dropped, and a brace group before a separator is kept whole.
std::vector<std::string> SplitParamList(std::string_view text, char separator = '\\');
// Split, then each item at its first `equals`: name with trailing blanks removed, value with
// leading blanks and one pair of outer braces removed. Items without `equals` are dropped.
std::vector<std::pair<std::string, std::string>> ParseParamPairs(std::string_view text,
                                                                 char separator = '\\',
                                                                 char equals = '=');
// The value of the first pair named `name` (ignoring ASCII case).
bool FindParamValue(std::string_view text, std::string_view name, char separator, char equals,
                    std::string& value);
// True if text is empty or splits into no items; then text is cleared too.
bool ParamListIsEmpty(std::string& text, char separator = '\\');

}  // namespace lumessa
