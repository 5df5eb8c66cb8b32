// Keyed ordered collections and the two smallest shared interfaces.
//
//   NameKey            the 32-bit key of a name: CRC-32 of the ASCII-upper-cased bytes
//   TKeyedList<Item>   ordered entries (key, item) with duplicate rejection and auto-names;
//                      TBaseCollection/TPointerCollection, TObjectCollection,
//                      TInterfaceCollection and TStringCollection are its variants
//   INamedObject       GetName/SetName; TNamedObject implements it
//   ICollection        Count/Delete/IndexOf/Contains/Clear; TCollection implements it
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/object.h"
#include "engine/text.h"
#include "engine/variant.h"

namespace lumessa {

// CRC-32 (reflected 0xEDB88320, initial 0xFFFFFFFF, final complement) of the name with a-z
// upper-cased. The key of "" is 0.
uint32_t NameKey(std::string_view name);

// The position a variant key addresses: integers are indices, strings are names (looked up by
// the caller), anything else addresses nothing.
struct TKeyRef {
  std::optional<int64_t> index;
  std::optional<std::string> name;
};
TKeyRef ResolveKey(const TVariant& key);

// Ordered list of (key, item). Names are not stored: two names with the same key are the same
// name. A second entry with an existing key is rejected. Lookups are linear key scans (the
// collections are small and the order is the data's order).
template <class Item>
class TKeyedList {
 public:
  struct Entry {
    uint32_t key;
    Item item;
  };

  int Count() const { return int(entries_.size()); }
  const std::string& LastName() const { return lastName_; }

  int IndexOfKey(uint32_t key) const {
    for (size_t i = 0; i < entries_.size(); ++i)
      if (entries_[i].key == key) return int(i);
    return -1;
  }
  int IndexOf(std::string_view name) const { return IndexOfKey(NameKey(name)); }
  bool Contains(std::string_view name) const { return IndexOf(name) >= 0; }

  // The item at index, or nullptr when out of range.
  const Item* AtIndex(int64_t index) const {
    if (index < 0 || index >= int64_t(entries_.size())) return nullptr;
    return &entries_[size_t(index)].item;
  }
  Item* AtIndex(int64_t index) { return const_cast<Item*>(std::as_const(*this).AtIndex(index)); }
  const Item* Find(std::string_view name) const { return AtIndex(IndexOf(name)); }
  Item* Find(std::string_view name) { return AtIndex(IndexOf(name)); }
  // By index (integer variant) or by name (string variant); nullptr otherwise.
  const Item* Get(const TVariant& key) const {
    TKeyRef k = ResolveKey(key);
    if (k.index) return AtIndex(*k.index);
    if (k.name) return Find(*k.name);
    return nullptr;
  }
  Item* Get(const TVariant& key) { return const_cast<Item*>(std::as_const(*this).Get(key)); }

  // Adds item under name (or a fresh automatic name) before position index (-1 appends).
  // Returns the stored item, or nullptr when the add is rejected (index out of range or the key
  // exists); a rejected item is destroyed with the argument.
  Item* Add(Item item, bool autoName = false, int index = -1, std::string_view name = {}) {
    std::string n = autoName ? NextAutoName() : std::string(name);
    if (!autoName && CompareIgnoreCase(n, lastName_) > 0) lastName_ = n;
    if (index < -1 || index > Count()) return nullptr;
    uint32_t key = NameKey(n);
    if (IndexOfKey(key) >= 0) return nullptr;
    auto pos = index < 0 ? entries_.end() : entries_.begin() + index;
    pos = entries_.insert(pos, Entry{key, std::move(item)});
    return &pos->item;
  }

  // Re-inserts the entry of `name` at position (an integer, or the index of the entry named by a
  // string) under the same name or a fresh automatic name.
  bool Move(std::string_view name, const TVariant& position, bool autoName = false) {
    int from = IndexOf(name);
    if (from < 0) return false;
    TKeyRef k = ResolveKey(position);
    int to = -2;
    if (k.index) {
      to = int(*k.index);
    } else if (k.name) {
      to = IndexOf(*k.name);
    }
    Entry e = std::move(entries_[size_t(from)]);
    entries_.erase(entries_.begin() + from);
    if (to >= -1 && to <= Count()) {
      if (autoName) e.key = NameKey(NextAutoName());
      if (IndexOfKey(e.key) < 0) {
        entries_.insert(to < 0 ? entries_.end() : entries_.begin() + to, std::move(e));
        return true;
      }
    }
    // Rejected: the entry goes back where it was, so nothing is lost.
    entries_.insert(entries_.begin() + from, std::move(e));
    return false;
  }

  void DeleteAt(int64_t index) {
    if (index >= 0 && index < Count()) entries_.erase(entries_.begin() + index);
  }
  void Delete(const TVariant& key) {
    TKeyRef k = ResolveKey(key);
    if (k.index)
      DeleteAt(*k.index);
    else if (k.name)
      DeleteAt(IndexOf(*k.name));
  }
  // Removes the entries from last to first.
  void Clear() {
    while (!entries_.empty()) entries_.pop_back();
  }

  // The next automatic name; it becomes LastName.
  std::string NextAutoName() {
    if (lastName_.empty()) {
      lastName_ = "!";
    } else if (AsciiUpper(lastName_.back()) == 'Z') {
      lastName_ += '!';
    } else {
      lastName_.back() = char(static_cast<unsigned char>(lastName_.back()) + 1);
    }
    return lastName_;
  }

  const std::vector<Entry>& Entries() const { return entries_; }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

 private:
  std::vector<Entry> entries_;
  std::string lastName_;
};

// The variants: what an item is and who frees it.
using TPointerCollection = TKeyedList<void*>;  // nothing is freed
using TBaseCollection = TPointerCollection;    //
template <class T>
using TObjectCollection = TKeyedList<std::unique_ptr<T>>;  // the object is freed
using TInterfaceCollection = TKeyedList<Ref<IInterface>>;  // one reference per entry
using TStringCollection = TKeyedList<std::string>;         // a copy of the text

// ---------------------------------------------------------------------------------------------

class INamedObject : public virtual IInterface {
 public:
  virtual std::string GetName() const = 0;
  virtual void SetName(std::string_view name) = 0;
};

class ICollection : public virtual IInterface {
 public:
  virtual int Count() const = 0;
  virtual void Delete(const TVariant& key) = 0;
  virtual int IndexOf(std::string_view name) const = 0;
  virtual bool Contains(std::string_view name) const = 0;
  virtual void Clear() = 0;
};

class TNamedObject : public TAbstractObject, public virtual INamedObject {
 public:
  std::string GetName() const override { return name_; }
  void SetName(std::string_view name) override { name_ = name; }

 protected:
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
};

// A collection object over interface references.
class TCollection : public TAbstractObject, public virtual ICollection {
 public:
  int Count() const override { return items_.Count(); }
  void Delete(const TVariant& key) override { items_.Delete(key); }
  int IndexOf(std::string_view name) const override { return items_.IndexOf(name); }
  bool Contains(std::string_view name) const override { return items_.Contains(name); }
  void Clear() override { items_.Clear(); }

  // Typed access for the derived collection interfaces.
  template <class I>
  Ref<I> GetAs(const TVariant& key) const {
    const Ref<IInterface>* p = items_.Get(key);
    return p ? Query<I>(*p) : Ref<I>();
  }
  TInterfaceCollection& Items() { return items_; }
  const TInterfaceCollection& Items() const { return items_; }

 protected:
  TInterfaceCollection items_;
};

}  // namespace lumessa
