#include "persistence/xml_storage.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/collection.h"
#include "engine/log.h"
#include "engine/text.h"
#include "persistence/languages.h"
#include "persistence/persist_object.h"
#include "persistence/text_encoding.h"
#include "resources/atomic_file.h"
#include "resources/cipher.h"
#include "resources/data_file.h"

// Contents
//   TXMLDocument     a parsed document shared by the storages bound to its elements
//   TXMLStorage      IHierStorage + IHierStorageRoot over one element
//   loading          the encoding rule, parsing, printing
//   file cache       OpenStorageSpec, SaveStorageToSpec, ClearStorageCache
//   typed accessors

namespace lumessa {

class TXMLStorage;

namespace {

// Whitespace between elements is layout, not content; a lone blank text ("<sep> </sep>") is.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_ws_pcdata_single;
// Element texts are embedded in other texts: no layout.
constexpr unsigned kRawOutput = pugi::format_raw | pugi::format_no_declaration;
constexpr unsigned kIndentedOutput = pugi::format_indent | pugi::format_no_declaration;
// Indentation grows with depth; beyond this a document is written without it, so that a
// pathologically deep document does not produce quadratic output.
constexpr int kMaxIndentedDepth = 32;
// A template chain longer than this is cut (chains cannot loop, but a document reloaded into a
// cached root could make one; this keeps every walk bounded anyway).
constexpr int kMaxTemplateHops = 32;
// Up to this many attributes a node's names are checked for repeats pairwise, beyond through a
// hash set.
constexpr size_t kSmallAttributeCount = 32;
// "_outstorage" files opened while opening another; deeper nesting is refused.
constexpr size_t kMaxSpecNesting = 16;

// A name as a NUL-terminated string for pugixml, without a heap allocation for usual names.
class TZName {
 public:
  explicit TZName(std::string_view s) {
    if (s.size() < sizeof small_) {
      std::memcpy(small_, s.data(), s.size());
      small_[s.size()] = '\0';
      p_ = small_;
    } else {
      big_.assign(s);
      p_ = big_.c_str();
    }
  }
  const char* c_str() const { return p_; }

 private:
  char small_[64];
  std::string big_;
  const char* p_;
};

bool IsTextNode(pugi::xml_node n) {
  return n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata;
}

bool IsWithin(pugi::xml_node n, pugi::xml_node ancestor) {
  for (; n; n = n.parent())
    if (n == ancestor) return true;
  return false;
}

// Two bits of a 64-bit filter for a name, from its length and its first and last bytes.
uint64_t NameBits(std::string_view name) {
  if (name.empty()) return 0;
  uint32_t h = uint32_t(name.size()) * 0x9E3779B1u ^ uint8_t(name.front()) * 0x85EBCA77u ^
               uint8_t(name.back()) * 0xC2B2AE3Du;
  h ^= h >> 15;
  return (uint64_t(1) << (h & 63)) | (uint64_t(1) << ((h >> 6) & 63));
}

// Removes a subtree leaf by leaf: pugixml frees a removed node recursively, which a deep
// enough subtree would turn into a stack overflow.
void DestroySubtree(pugi::xml_node x) {
  pugi::xml_node cur = x;
  for (;;) {
    if (pugi::xml_node last = cur.last_child()) {
      cur = last;
      continue;
    }
    if (cur == x) break;
    pugi::xml_node up = cur.parent();
    up.remove_child(cur);
    cur = up;
  }
  if (pugi::xml_node parent = x.parent()) parent.remove_child(x);
}

class TStringWriter : public pugi::xml_writer {
 public:
  void write(const void* data, size_t size) override {
    out.append(static_cast<const char*>(data), size);
  }
  std::string out;
};

std::string PrintNode(pugi::xml_node n, unsigned options) {
  TStringWriter w;
  n.print(w, "\t", options, pugi::encoding_utf8);
  return std::move(w.out);
}

int MaxDepth(pugi::xml_node root) {
  int depth = 0, maxDepth = 0;
  pugi::xml_node cur = root;
  while (cur) {
    if (pugi::xml_node c = cur.first_child()) {
      cur = c;
      maxDepth = std::max(maxDepth, ++depth);
      continue;
    }
    while (cur && cur != root && !cur.next_sibling()) {
      cur = cur.parent();
      --depth;
    }
    if (!cur || cur == root) break;
    cur = cur.next_sibling();
  }
  return maxDepth;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TXMLDocument
//
// Storages are handles on elements. pugixml frees a removed element at once, so an element
// that a live storage still stands for (directly or through an ancestor) is moved into a hidden
// trash node instead, and the trash is emptied when the last such storage goes. Every
// structural change bumps a version that the storages' caches check, so no cache keeps a
// pointer to a node that may be gone.
class TXMLDocument : public TAbstractObject {
 public:
  pugi::xml_document doc;
  uint64_t childVersion = 1;  // child lists changed
  uint64_t attrVersion = 1;   // attributes added or removed
  TXMLStorage* firstLive = nullptr;
  pugi::xml_node trash;
  int trashLive = 0;

  void RemoveNode(pugi::xml_node x);
  void Purge() {
    if (trash) DestroySubtree(trash);
    trash = pugi::xml_node();
  }
  // The XML text of every top-level node but the trash.
  std::string Text() const;
};

// The internal side of a storage: what AppendCopy and RemoveChild need of another storage.
class IXMLStorageSlave : public virtual IInterface {
 public:
  virtual void Attach(pugi::xml_node node, const Ref<TXMLDocument>& document) = 0;
  virtual pugi::xml_node GetNode() const = 0;
  virtual TXMLDocument* GetDocument() const = 0;
};

class TXMLStorage final : public TAbstractObject,
                          public virtual IHierStorage,
                          public virtual IHierStorageRoot,
                          public virtual IXMLStorageSlave {
 public:
  ~TXMLStorage() override { Unlink(); }

  // IHierStorage
  std::string GetNodeName() const override { return node_ ? node_.name() : std::string(); }
  int GetValueCount() const override;
  std::string GetValueName(int index) const override;
  TVariant ReadValueAt(int index, const TVariant& fallback) const override;
  TVariant ReadValue(std::string_view name, const TVariant& fallback) const override;
  std::optional<std::string_view> ReadValueView(std::string_view name,
                                                const TVariant& fallback) const override;
  bool WriteValueAt(int index, const TVariant& value) override;
  bool WriteValue(std::string_view name, const TVariant& value) override;
  bool RemoveValue(std::string_view name) override;
  Ref<IHierStorage> AddChild(std::string_view name) override;
  int GetChildCount(std::string_view name) const override;
  Ref<IHierStorage> GetChild(std::string_view name, int index) const override;
  Ref<IHierStorage> FindChild(std::string_view name) const override;
  std::string GetText() const override;
  void SetText(const TVariant& value) override;
  TVariant ReadChildText(std::string_view name) const override;
  bool WriteChildText(std::string_view name, const TVariant& value) override;
  bool AppendCopy(const Ref<IHierStorage>& storage) override;
  bool RemoveChild(const Ref<IHierStorage>& child) override;
  std::string GetXml() const override;
  std::string GetInnerText() const override;
  void SetInnerXml(std::string_view value) override;
  TVariant ReadChildInner(std::string_view name) const override;
  bool WriteChildInner(std::string_view name, std::string_view value) override;
  Ref<IHierStorage> GetByPath(std::string_view path, std::string_view section) const override;
  void Detach() override;

  // IHierStorageRoot
  bool CreateNew(std::string_view rootName) override;
  bool LoadFromFile(std::string_view fileName) override;
  bool LoadFromText(std::string_view text) override;
  bool LoadObject(const Ref<IStorable>& object) override;
  bool SaveToFile(std::string_view fileName) override;
  std::optional<std::string> GetDocumentText() const override;
  bool SaveObject(const Ref<IStorable>& object) override;

  // IXMLStorageSlave
  void Attach(pugi::xml_node node, const Ref<TXMLDocument>& document) override;
  pugi::xml_node GetNode() const override { return node_; }
  TXMLDocument* GetDocument() const override { return doc_.get(); }

  // LoadFromText that says on the log why the text from `source` did not load.
  bool LoadNamedText(std::string_view text, std::string_view source);

 private:
  friend class TXMLDocument;

  void Link();
  void Unlink();
  Ref<IHierStorage> Wrap(pugi::xml_node n) const;
  bool IsElement() const { return node_.type() == pugi::node_element; }
  void CheckAttrCache() const;
  void BuildAttrIndex() const;
  pugi::xml_attribute FindAttribute(std::string_view name) const;
  pugi::xml_attribute AttributeAt(int index) const;
  const std::vector<pugi::xml_node>& ChildList(std::string_view name) const;
  pugi::xml_node OwnChild(std::string_view name) const;
  bool ReplaceContent();

  Ref<TXMLDocument> doc_;
  pugi::xml_node node_;
  TXMLStorage* prevLive_ = nullptr;
  TXMLStorage* nextLive_ = nullptr;
  bool inTrash_ = false;
  std::string outStorageSpec_;
  Ref<TXMLStorage> template_;

  // Caches, valid while the document's versions match the ones recorded here. The attribute
  // index is built on the first lookup: lookups then run over it without a call into the XML
  // library per attribute.
  struct TAttrEntry {
    const char* name;
    size_t length;
    pugi::xml_attribute attr;
  };
  mutable uint64_t attrVersion_ = 0;
  mutable bool attrIndexBuilt_ = false;
  mutable std::vector<TAttrEntry> attrs_;
  mutable size_t hint_ = 0;              // where the next lookup by name starts
  mutable uint64_t nameFilter_ = 0;      // NameBits of every attribute name
  mutable bool duplicateNames_ = false;  // malformed: some name occurs twice
  mutable uint64_t childVersion_ = 0;
  mutable bool childListValid_ = false;
  mutable std::string childListName_;
  mutable std::vector<pugi::xml_node> childList_;
};

namespace {

Ref<TXMLStorage> OpenSpecStorage(std::string_view storageSpec);
// The document of the text, or empty; `why` then says what is wrong, when asked.
Ref<TXMLDocument> ParseDocument(std::string_view utf8, std::string* why = nullptr);
Ref<TXMLDocument> ParseDataText(std::string_view text, std::string* why = nullptr);

}  // namespace

void TXMLDocument::RemoveNode(pugi::xml_node x) {
  ++childVersion;
  ++attrVersion;
  int inside = 0;
  for (TXMLStorage* s = firstLive; s; s = s->nextLive_) {
    if (!s->inTrash_ && IsWithin(s->node_, x)) {
      s->inTrash_ = true;
      ++inside;
    }
  }
  if (inside == 0) {
    DestroySubtree(x);
    return;
  }
  if (!trash) trash = doc.append_child(pugi::node_element);
  trash.append_move(x);
  trashLive += inside;
}

std::string TXMLDocument::Text() const {
  unsigned options = MaxDepth(doc) <= kMaxIndentedDepth ? kIndentedOutput : kRawOutput;
  std::string text;
  for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling())
    if (n != trash) text += PrintNode(n, options);
  return text;
}

// ---------------------------------------------------------------------------------------------
// Binding

void TXMLStorage::Link() {
  nextLive_ = doc_->firstLive;
  if (nextLive_) nextLive_->prevLive_ = this;
  prevLive_ = nullptr;
  doc_->firstLive = this;
  inTrash_ = doc_->trash && IsWithin(node_, doc_->trash);
  if (inTrash_) ++doc_->trashLive;
}

void TXMLStorage::Unlink() {
  if (!doc_) return;
  if (prevLive_)
    prevLive_->nextLive_ = nextLive_;
  else
    doc_->firstLive = nextLive_;
  if (nextLive_) nextLive_->prevLive_ = prevLive_;
  prevLive_ = nextLive_ = nullptr;
  if (inTrash_ && --doc_->trashLive == 0) doc_->Purge();
  inTrash_ = false;
}

void TXMLStorage::Attach(pugi::xml_node node, const Ref<TXMLDocument>& document) {
  Unlink();
  doc_ = document;
  node_ = node;
  template_.reset();
  outStorageSpec_.clear();
  attrVersion_ = childVersion_ = 0;
  childListValid_ = false;
  childList_.clear();
  if (!doc_) return;
  Link();
  if (pugi::xml_attribute a = FindAttribute("_outstorage")) outStorageSpec_ = a.value();
  if (!outStorageSpec_.empty()) {
    Ref<TXMLStorage> t = OpenSpecStorage(outStorageSpec_);
    // A template whose own chain leads back here would make every lookup circle.
    int hops = 0;
    for (TXMLStorage* s = t.get(); s && hops <= kMaxTemplateHops; s = s->template_.get(), ++hops) {
      if (s == this) {
        t.reset();
        break;
      }
    }
    template_ = std::move(t);
  }
}

void TXMLStorage::Detach() {
  Attach(pugi::xml_node(), nullptr);
}

Ref<IHierStorage> TXMLStorage::Wrap(pugi::xml_node n) const {
  if (!n) return {};
  Ref<TXMLStorage> s = MakeRef<TXMLStorage>();
  s->Attach(n, doc_);
  return s;
}

// ---------------------------------------------------------------------------------------------
// Values

void TXMLStorage::CheckAttrCache() const {
  if (attrVersion_ == doc_->attrVersion) return;
  attrVersion_ = doc_->attrVersion;
  attrIndexBuilt_ = false;
}

void TXMLStorage::BuildAttrIndex() const {
  attrs_.clear();
  attrs_.reserve(16);
  hint_ = 0;
  nameFilter_ = 0;
  duplicateNames_ = false;
  if (IsElement()) {
    for (pugi::xml_attribute a = node_.first_attribute(); a; a = a.next_attribute()) {
      const char* name = a.name();
      attrs_.push_back({name, std::strlen(name), a});
    }
  }
  std::unordered_set<std::string_view> seen;  // only for nodes with many attributes
  for (size_t i = 0; i < attrs_.size(); ++i) {
    std::string_view name(attrs_[i].name, attrs_[i].length);
    uint64_t bits = NameBits(name);
    if (attrs_.size() > kSmallAttributeCount) {
      duplicateNames_ |= !seen.insert(name).second;
    } else if ((nameFilter_ & bits) == bits) {
      // Possibly seen before: compare with the names before it.
      for (size_t j = 0; j < i; ++j)
        duplicateNames_ |= name == std::string_view(attrs_[j].name, attrs_[j].length);
    }
    nameFilter_ |= bits;
  }
  attrIndexBuilt_ = true;
}

// By name, starting where the last lookup ended: loaders read the keys of a node mostly in the
// order the file states them, so a node's keys are found in one pass instead of one pass each.
// Keys a loader asks for that the node does not state are mostly turned away by a small filter
// of the names present. (pugixml's own hinted lookup checks the hint with a full scan where its
// assertions are on.)
pugi::xml_attribute TXMLStorage::FindAttribute(std::string_view name) const {
  if (!doc_ || name.empty()) return {};
  CheckAttrCache();
  if (!attrIndexBuilt_) BuildAttrIndex();
  uint64_t bits = NameBits(name);
  if ((nameFilter_ & bits) != bits) return {};
  auto matches = [name](const TAttrEntry& e) {
    return e.length == name.size() && std::memcmp(e.name, name.data(), name.size()) == 0;
  };
  // A name stated twice (which the parser lets through) always answers with its first value.
  size_t start = duplicateNames_ ? 0 : hint_;
  for (size_t i = start; i < attrs_.size(); ++i) {
    if (matches(attrs_[i])) {
      hint_ = i + 1;
      return attrs_[i].attr;
    }
  }
  for (size_t i = 0; i < start && i < attrs_.size(); ++i) {
    if (matches(attrs_[i])) {
      hint_ = i + 1;
      return attrs_[i].attr;
    }
  }
  return {};
}

pugi::xml_attribute TXMLStorage::AttributeAt(int index) const {
  if (!doc_ || index < 0) return {};
  CheckAttrCache();
  if (!attrIndexBuilt_) BuildAttrIndex();
  return size_t(index) < attrs_.size() ? attrs_[size_t(index)].attr : pugi::xml_attribute();
}

int TXMLStorage::GetValueCount() const {
  if (!doc_) return 0;
  CheckAttrCache();
  if (!attrIndexBuilt_) BuildAttrIndex();
  return int(attrs_.size());
}

std::string TXMLStorage::GetValueName(int index) const {
  pugi::xml_attribute a = AttributeAt(index);
  return a ? a.name() : std::string();
}

std::optional<std::string_view> TXMLStorage::ReadValueView(std::string_view name,
                                                           const TVariant& fallback) const {
  std::optional<std::string> fallbackText;  // made only when a template has to be asked
  const TXMLStorage* s = this;
  for (int hop = 0;; ++hop) {
    pugi::xml_attribute a = s->FindAttribute(name);
    if (!s->template_ || hop >= kMaxTemplateHops) {
      if (a) return std::string_view(a.value());
      return std::nullopt;
    }
    if (a) {
      if (!fallbackText) fallbackText = fallback.ToString();
      if (*fallbackText != a.value()) return std::string_view(a.value());
    }
    s = s->template_.get();
  }
}

TVariant TXMLStorage::ReadValue(std::string_view name, const TVariant& fallback) const {
  std::optional<std::string_view> text = ReadValueView(name, fallback);
  return text ? TVariant(*text) : TVariant(fallback.ToString());
}

TVariant TXMLStorage::ReadValueAt(int index, const TVariant& fallback) const {
  pugi::xml_attribute a = AttributeAt(index);
  if (!a) return TVariant(fallback.ToString());
  if (template_ && fallback.ToString() == a.value())
    return template_->ReadValue(a.name(), fallback);
  return TVariant(std::string(a.value()));
}

bool TXMLStorage::WriteValueAt(int index, const TVariant& value) {
  pugi::xml_attribute a = AttributeAt(index);
  return a && a.set_value(value.ToString().c_str());
}

bool TXMLStorage::WriteValue(std::string_view name, const TVariant& value) {
  if (!doc_ || !IsElement() || !IsValidXmlName(name)) return false;
  pugi::xml_attribute a = FindAttribute(name);
  if (!a) {
    a = node_.append_attribute(TZName(name).c_str());
    if (!a) return false;
    // Other storages of this node rebuild their caches; this one's index only gains the new
    // attribute.
    bool upToDate = attrVersion_ == doc_->attrVersion && attrIndexBuilt_;
    ++doc_->attrVersion;
    if (upToDate) {
      attrVersion_ = doc_->attrVersion;
      const char* stored = a.name();
      attrs_.push_back({stored, std::strlen(stored), a});
      nameFilter_ |= NameBits(name);
    }
  }
  return a.set_value(value.ToString().c_str());
}

bool TXMLStorage::RemoveValue(std::string_view name) {
  pugi::xml_attribute a = FindAttribute(name);
  if (!a) return false;
  ++doc_->attrVersion;
  return node_.remove_attribute(a);
}

// ---------------------------------------------------------------------------------------------
// Children

Ref<IHierStorage> TXMLStorage::AddChild(std::string_view name) {
  if (!doc_ || !IsElement() || !IsValidXmlName(name)) return {};
  pugi::xml_node c = node_.append_child(TZName(name).c_str());
  ++doc_->childVersion;
  return Wrap(c);
}

const std::vector<pugi::xml_node>& TXMLStorage::ChildList(std::string_view name) const {
  if (childVersion_ != doc_->childVersion || !childListValid_ || childListName_ != name) {
    childVersion_ = doc_->childVersion;
    childListValid_ = true;
    childListName_.assign(name);
    childList_.clear();
    for (pugi::xml_node c = node_.first_child(); c; c = c.next_sibling()) {
      if (name.empty() || (c.type() == pugi::node_element && name == c.name()))
        childList_.push_back(c);
    }
  }
  return childList_;
}

int TXMLStorage::GetChildCount(std::string_view name) const {
  const TXMLStorage* s = this;
  for (int hop = 0;; ++hop) {
    int n = s->doc_ ? int(s->ChildList(name).size()) : 0;
    if (n > 0 || !s->template_ || hop >= kMaxTemplateHops) return n;
    s = s->template_.get();
  }
}

Ref<IHierStorage> TXMLStorage::GetChild(std::string_view name, int index) const {
  const TXMLStorage* s = this;
  for (int hop = 0;; ++hop) {
    if (s->doc_) {
      const std::vector<pugi::xml_node>& list = s->ChildList(name);
      if (index >= 0 && size_t(index) < list.size()) return s->Wrap(list[size_t(index)]);
    }
    if (!s->template_ || hop >= kMaxTemplateHops) return {};
    s = s->template_.get();
  }
}

pugi::xml_node TXMLStorage::OwnChild(std::string_view name) const {
  if (!doc_) return {};
  for (pugi::xml_node c = node_.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && (name.empty() || name == c.name())) return c;
  }
  return {};
}

Ref<IHierStorage> TXMLStorage::FindChild(std::string_view name) const {
  return Wrap(OwnChild(name));
}

// ---------------------------------------------------------------------------------------------
// Text

std::string TXMLStorage::GetText() const {
  if (!doc_ || !node_) return {};
  if (IsTextNode(node_)) return node_.value();
  pugi::xml_node first = node_.first_child();
  if (first && !first.next_sibling() && IsTextNode(first)) return first.value();
  // All text below the element in document order, walked without recursion.
  std::string text;
  pugi::xml_node cur = first;
  while (cur) {
    if (IsTextNode(cur)) text += cur.value();
    if (pugi::xml_node c = cur.first_child()) {
      cur = c;
      continue;
    }
    while (cur && cur != node_ && !cur.next_sibling()) cur = cur.parent();
    if (!cur || cur == node_) break;
    cur = cur.next_sibling();
  }
  return text;
}

// Removes every child. False when the node cannot hold content.
bool TXMLStorage::ReplaceContent() {
  if (!doc_ || !IsElement()) return false;
  while (pugi::xml_node c = node_.last_child()) doc_->RemoveNode(c);
  ++doc_->childVersion;
  return true;
}

void TXMLStorage::SetText(const TVariant& value) {
  if (doc_ && IsTextNode(node_)) {
    node_.set_value(value.ToString().c_str());
    return;
  }
  if (!ReplaceContent()) return;
  std::string text = value.ToString();
  if (!text.empty()) node_.append_child(pugi::node_pcdata).set_value(text.c_str());
}

TVariant TXMLStorage::ReadChildText(std::string_view name) const {
  Ref<IHierStorage> c = GetChild(name, 0);
  return c ? TVariant(c->GetText()) : TVariant();
}

// Writes go to the node's own child: a child found through the template belongs to a shared,
// cached file that must not change under its other users.
bool TXMLStorage::WriteChildText(std::string_view name, const TVariant& value) {
  if (!IsValidXmlName(name)) return false;
  Ref<IHierStorage> c = FindChild(name);
  if (!c) c = AddChild(name);
  if (!c) return false;
  c->SetText(value);
  return true;
}

std::string TXMLStorage::GetXml() const {
  if (!doc_ || !node_) return {};
  return PrintNode(node_, kRawOutput);
}

std::string TXMLStorage::GetInnerText() const {
  if (!doc_ || !node_) return {};
  pugi::xml_node first = node_.first_child();
  if (!first || (!first.next_sibling() && IsTextNode(first))) return GetText();
  std::string text;
  for (pugi::xml_node c = first; c; c = c.next_sibling()) text += PrintNode(c, kRawOutput);
  return text;
}

void TXMLStorage::SetInnerXml(std::string_view value) {
  if (!doc_ || !IsElement()) return;
  if (Ref<TXMLDocument> parsed = ParseDocument(value)) {
    node_.append_copy(parsed->doc.document_element());
    ++doc_->childVersion;
  } else {
    SetText(value);
  }
}

TVariant TXMLStorage::ReadChildInner(std::string_view name) const {
  Ref<IHierStorage> c = GetChild(name, 0);
  return c ? TVariant(c->GetInnerText()) : TVariant();
}

bool TXMLStorage::WriteChildInner(std::string_view name, std::string_view value) {
  if (!IsValidXmlName(name)) return false;
  Ref<IHierStorage> c = FindChild(name);
  if (!c) c = AddChild(name);
  if (!c) return false;
  c->SetInnerXml(value);
  return true;
}

bool TXMLStorage::AppendCopy(const Ref<IHierStorage>& storage) {
  if (!doc_ || !IsElement()) return false;
  Ref<IXMLStorageSlave> slave = Query<IXMLStorageSlave>(storage);
  if (!slave || !slave->GetDocument()) return false;
  pugi::xml_node source = slave->GetNode();
  if (!source || source.type() == pugi::node_document) return false;
  pugi::xml_node copy = node_.append_copy(source);
  ++doc_->childVersion;
  return bool(copy);
}

bool TXMLStorage::RemoveChild(const Ref<IHierStorage>& child) {
  if (!doc_) return false;
  Ref<IXMLStorageSlave> slave = Query<IXMLStorageSlave>(child);
  if (!slave || slave->GetDocument() != doc_.get()) return false;
  pugi::xml_node c = slave->GetNode();
  if (!c || c.parent() != node_) return false;
  doc_->RemoveNode(c);
  return true;
}

Ref<IHierStorage> TXMLStorage::GetByPath(std::string_view path, std::string_view section) const {
  if (!doc_) return {};
  auto matches = [](pugi::xml_node c, std::string_view step) {
    return c.type() == pugi::node_element && (EqualsIgnoreCase(c.name(), step) ||
                                              EqualsIgnoreCase(c.attribute("name").value(), step));
  };
  pugi::xml_node n = node_;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = std::min(path.find('/', start), path.size());
    std::string_view step = path.substr(start, end - start);
    start = end + 1;
    if (step.empty()) continue;
    pugi::xml_node found;
    if (!section.empty()) {
      pugi::xml_node preferred = n.child(TZName(section).c_str());
      for (pugi::xml_node c = preferred.first_child(); c && !found; c = c.next_sibling())
        if (matches(c, step)) found = c;
    }
    for (pugi::xml_node c = n.first_child(); c && !found; c = c.next_sibling())
      if (matches(c, step)) found = c;
    if (!found) return {};
    n = found;
  }
  if (n == node_) return Ref<IHierStorage>(const_cast<TXMLStorage*>(this));
  return Wrap(n);
}

// ---------------------------------------------------------------------------------------------
// Documents

bool TXMLStorage::CreateNew(std::string_view rootName) {
  if (!IsValidXmlName(rootName)) return false;
  Ref<TXMLDocument> doc = MakeRef<TXMLDocument>();
  pugi::xml_node root = doc->doc.append_child(TZName(rootName).c_str());
  if (!root) return false;
  Attach(root, doc);
  return true;
}

bool TXMLStorage::LoadFromFile(std::string_view fileName) {
  return LoadNamedText(ReadDataFile(fileName), fileName);
}

bool TXMLStorage::LoadFromText(std::string_view text) {
  Ref<TXMLDocument> doc = ParseDataText(text);
  if (!doc) return false;
  Attach(doc->doc.document_element(), doc);
  return true;
}

bool TXMLStorage::LoadNamedText(std::string_view text, std::string_view source) {
  std::string why;
  Ref<TXMLDocument> doc = ParseDataText(text, &why);
  if (!doc) {
    Log("%.*s: not loaded: %s", int(source.size()), source.data(), why.c_str());
    return false;
  }
  Attach(doc->doc.document_element(), doc);
  return true;
}

bool TXMLStorage::LoadObject(const Ref<IStorable>& object) {
  if (!object || !doc_) return false;
  object->Load(Ref<IHierStorage>(this));
  return true;
}

bool TXMLStorage::SaveToFile(std::string_view fileName) {
  std::optional<std::string> text = GetDocumentText();
  if (text && WriteDataFileAtomically(fileName, *text)) return true;
  Log("%.*s: could not be written", int(fileName.size()), fileName.data());
  return false;
}

std::optional<std::string> TXMLStorage::GetDocumentText() const {
  if (!doc_) return std::nullopt;
  return doc_->Text();
}

bool TXMLStorage::SaveObject(const Ref<IStorable>& object) {
  if (!object || !doc_) return false;
  object->Save(Ref<IHierStorage>(this));
  return true;
}

// ---------------------------------------------------------------------------------------------
// Loading

namespace {

bool IsXmlBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// True when the text opens with an XML declaration that names an encoding other than utf-8.
// A declaration that does not read as one (no closing "?>", a malformed pseudo-attribute)
// counts as none: the text is then UTF-8.
bool DeclaresAnsiEncoding(std::string_view text) {
  if (!text.starts_with("<?")) return false;
  size_t close = text.find("?>");
  if (close == std::string_view::npos) return false;
  std::string_view decl = text.substr(2, close - 2);
  size_t i = 0;
  while (i < decl.size() && !IsXmlBlank(decl[i])) ++i;
  if (decl.substr(0, i) != "xml") return false;
  std::string_view encoding = "utf-8";
  for (;;) {
    size_t blanks = i;
    while (i < decl.size() && IsXmlBlank(decl[i])) ++i;
    if (i == decl.size()) break;
    if (i == blanks) return false;  // pseudo-attributes are separated by blanks
    size_t nameStart = i;
    while (i < decl.size() && decl[i] != '=' && !IsXmlBlank(decl[i])) ++i;
    std::string_view name = decl.substr(nameStart, i - nameStart);
    while (i < decl.size() && IsXmlBlank(decl[i])) ++i;
    if (name.empty() || i == decl.size() || decl[i] != '=') return false;
    ++i;
    while (i < decl.size() && IsXmlBlank(decl[i])) ++i;
    if (i == decl.size() || (decl[i] != '"' && decl[i] != '\'')) return false;
    char quote = decl[i++];
    size_t valueEnd = decl.find(quote, i);
    if (valueEnd == std::string_view::npos) return false;
    if (name == "encoding") encoding = decl.substr(i, valueEnd - i);
    i = valueEnd + 1;
  }
  return !EqualsIgnoreCase(encoding, "utf-8");
}

Ref<TXMLDocument> ParseDocument(std::string_view utf8, std::string* why) {
  Ref<TXMLDocument> doc = MakeRef<TXMLDocument>();
  pugi::xml_parse_result r =
      doc->doc.load_buffer(utf8.data(), utf8.size(), kParseOptions, pugi::encoding_utf8);
  if (r && doc->doc.document_element()) return doc;
  if (why) {
    *why = r ? "no root element" : r.description();
    if (!r) *why += " at byte " + std::to_string(r.offset);
  }
  return {};
}

Ref<TXMLDocument> ParseDataText(std::string_view text, std::string* why) {
  if (text.empty()) {
    if (why) *why = "missing or empty";
    return {};
  }
  if (DeclaresAnsiEncoding(text)) return ParseDocument(AnsiToUtf8(text), why);
  return ParseDocument(text, why);
}

}  // namespace

bool IsValidXmlName(std::string_view name) {
  if (name.empty()) return false;
  auto nameStart = [](unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
  };
  if (!nameStart(static_cast<unsigned char>(name[0]))) return false;
  for (char ch : name.substr(1)) {
    auto c = static_cast<unsigned char>(ch);
    if (!nameStart(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.') return false;
  }
  return true;
}

Ref<IHierStorageRoot> NewStorage() {
  return MakeRef<TXMLStorage>();
}

Ref<IHierStorageRoot> CreateStorage(std::string_view rootName) {
  Ref<TXMLStorage> s = MakeRef<TXMLStorage>();
  if (!s->CreateNew(rootName)) return {};
  return s;
}

Ref<IHierStorage> LoadStorageFromFile(std::string_view fileName) {
  Ref<TXMLStorage> s = MakeRef<TXMLStorage>();
  if (!s->LoadFromFile(fileName)) return {};
  return s;
}

Ref<IHierStorage> LoadStorageFromText(std::string_view text) {
  Ref<TXMLStorage> s = MakeRef<TXMLStorage>();
  if (!s->LoadFromText(text)) return {};
  return s;
}

// ---------------------------------------------------------------------------------------------
// Cache of referenced files

namespace {

struct TStorageSpec {
  std::string file;
  std::string cryptKey;
};

// "file=data\levels\common.xml\cryptkey=K": the separator of the list is also the separator
// of the path, so an item that does not start a known key continues the value before it.
TStorageSpec ParseStorageSpec(std::string_view storageSpec) {
  TStorageSpec out;
  std::string* value = nullptr;
  for (const std::string& item : SplitParamList(storageSpec, '\\')) {
    size_t eq = item.find('=');
    std::string_view name = eq == std::string::npos
                                ? std::string_view()
                                : TrimRight(std::string_view(item).substr(0, eq));
    if (EqualsIgnoreCase(name, "file") || EqualsIgnoreCase(name, "cryptkey")) {
      value = EqualsIgnoreCase(name, "file") ? &out.file : &out.cryptKey;
      *value = std::string(TrimLeft(std::string_view(item).substr(eq + 1)));
    } else if (value) {
      *value += '\\';
      *value += item;
    }
  }
  for (std::string* v : {&out.file, &out.cryptKey}) {
    if (v->size() >= 2 && v->front() == '{' && v->back() == '}') *v = v->substr(1, v->size() - 2);
  }
  return out;
}

struct TSpecCache {
  std::mutex lock;
  TInterfaceCollection storages;
};

TSpecCache& SpecCache() {
  static TSpecCache cache;
  return cache;
}

// The files this thread is opening right now, innermost last.
thread_local std::vector<std::string> tOpeningFiles;

Ref<TXMLStorage> FindCached(std::string_view file) {
  TSpecCache& cache = SpecCache();
  std::lock_guard<std::mutex> guard(cache.lock);
  const Ref<IInterface>* found = cache.storages.Find(file);
  return found ? Query<TXMLStorage>(*found) : Ref<TXMLStorage>();
}

Ref<TXMLStorage> OpenSpecStorage(std::string_view storageSpec) {
  TStorageSpec s = ParseStorageSpec(storageSpec);
  if (s.file.empty()) return {};
  if (Ref<TXMLStorage> cached = FindCached(s.file)) return cached;
  for (const std::string& f : tOpeningFiles) {
    if (EqualsIgnoreCase(f, s.file)) {
      Log("%s: \"_outstorage\" leads back to this file; ignored", s.file.c_str());
      return {};
    }
  }
  if (tOpeningFiles.size() >= kMaxSpecNesting) {
    Log("%s: \"_outstorage\" files nested too deeply; ignored", s.file.c_str());
    return {};
  }

  struct TOpening {
    explicit TOpening(const std::string& f) { tOpeningFiles.push_back(f); }
    ~TOpening() { tOpeningFiles.pop_back(); }
  } opening(s.file);

  std::string text = ReadDataFile(s.file);
  if (!s.cryptKey.empty()) text = DecodeText(text, s.cryptKey, kTextFormatHex);
  Ref<TXMLStorage> storage = MakeRef<TXMLStorage>();
  if (!storage->LoadNamedText(text, s.file)) return {};

  TSpecCache& cache = SpecCache();
  std::lock_guard<std::mutex> guard(cache.lock);
  // Another thread may have opened the same file meanwhile; the first one stays.
  if (const Ref<IInterface>* found = cache.storages.Find(s.file)) return Query<TXMLStorage>(*found);
  cache.storages.Add(Ref<IInterface>(static_cast<IHierStorage*>(storage.get())), false, -1, s.file);
  return storage;
}

}  // namespace

Ref<IHierStorage> OpenStorageSpec(std::string_view storageSpec) {
  return OpenSpecStorage(storageSpec);
}

bool SaveStorageToSpec(const Ref<IHierStorage>& storage, std::string_view storageSpec) {
  TStorageSpec s = ParseStorageSpec(storageSpec);
  Ref<IHierStorageRoot> root = Query<IHierStorageRoot>(storage);
  if (s.file.empty() || !root) return false;
  std::optional<std::string> text = root->GetDocumentText();
  if (!text) return false;
  if (!s.cryptKey.empty()) *text = EncodeText(*text, s.cryptKey, kTextFormatHex);
  bool ok = WriteDataFileAtomically(s.file, *text, true);
  if (!ok) Log("%s: could not be written", s.file.c_str());
  // The cached copy no longer matches the file.
  Ref<IInterface> dropped;
  {
    TSpecCache& cache = SpecCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    int index = cache.storages.IndexOf(s.file);
    if (index >= 0) {
      dropped = *cache.storages.AtIndex(index);
      cache.storages.DeleteAt(index);
    }
  }
  return ok;
}

void ClearStorageCache() {
  TInterfaceCollection dropped;
  {
    TSpecCache& cache = SpecCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    std::swap(dropped, cache.storages);
  }
  // Released outside the lock: a storage going away may release its own templates.
}

// ---------------------------------------------------------------------------------------------
// Typed accessors

std::string ReadString(const Ref<IHierStorage>& storage, std::string_view name,
                       std::string_view fallback) {
  if (!storage) return std::string(fallback);
  std::optional<std::string_view> text = storage->ReadValueView(name, TVariant(fallback));
  return text ? std::string(*text) : std::string(fallback);
}

std::u16string ReadText(const Ref<IHierStorage>& storage, std::string_view name,
                        std::string_view fallback) {
  return Utf8ToUtf16(ExpandText(ReadString(storage, name, fallback), false));
}

bool ReadBool(const Ref<IHierStorage>& storage, std::string_view name, bool fallback) {
  if (!storage) return fallback;
  std::optional<std::string_view> text = storage->ReadValueView(name, TVariant(fallback));
  if (!text) return fallback;
  return ParseBool(*text).value_or(fallback);
}

int ReadInt(const Ref<IHierStorage>& storage, std::string_view name, int fallback) {
  if (!storage) return fallback;
  std::optional<std::string_view> text = storage->ReadValueView(name, TVariant(fallback));
  if (!text) return fallback;
  std::string_view t = Trim(*text);
  std::optional<int64_t> v = ParseInt(t);
  if (!v) return fallback;
  std::string_view digits = t.substr(t.starts_with('-') || t.starts_with('+') ? 1 : 0);
  bool hex = digits.starts_with('$') || digits.starts_with("0x") || digits.starts_with("0X");
  // Hexadecimal spells 32-bit patterns (colours such as $FF808080).
  if (hex && *v > INT32_MAX && *v <= int64_t(UINT32_MAX)) return int(int32_t(uint32_t(*v)));
  if (*v < INT32_MIN || *v > INT32_MAX) return fallback;
  return int(*v);
}

double ReadFloat(const Ref<IHierStorage>& storage, std::string_view name, double fallback) {
  if (!storage) return fallback;
  std::optional<std::string_view> text = storage->ReadValueView(name, TVariant(fallback));
  if (!text) return fallback;
  return ParseFloat(Trim(*text)).value_or(fallback);
}

namespace {

// The position of the first item of a choice list for which match(item) holds, or -1. The
// text before the first "/" is not an item.
template <class F>
int FindChoice(std::string_view choices, F&& match) {
  size_t slash = choices.find('/');
  for (int index = 0; slash != std::string_view::npos; ++index) {
    size_t next = choices.find('/', slash + 1);
    std::string_view item = choices.substr(
        slash + 1, next == std::string_view::npos ? std::string_view::npos : next - slash - 1);
    if (match(item)) return index;
    slash = next;
  }
  return -1;
}

// The item at index, or nothing.
std::optional<std::string_view> ChoiceAt(std::string_view choices, int index) {
  std::optional<std::string_view> found;
  int position = 0;
  FindChoice(choices, [&](std::string_view item) {
    if (position++ != index) return false;
    found = item;
    return true;
  });
  return found;
}

}  // namespace

int ReadEnum(const Ref<IHierStorage>& storage, std::string_view name, std::string_view choices,
             int fallback) {
  if (!storage) return fallback;
  // The fallback's text, for the template rule, is its item.
  std::string_view fallbackItem = ChoiceAt(choices, fallback).value_or(std::string_view());
  std::optional<std::string_view> text = storage->ReadValueView(name, TVariant(fallbackItem));
  if (!text || text->empty()) return fallback;
  int index = FindChoice(choices, [&](std::string_view item) { return item == *text; });
  return index >= 0 ? index : fallback;
}

void WriteString(const Ref<IHierStorage>& storage, std::string_view name, bool doWrite,
                 std::string_view value) {
  if (storage && doWrite) storage->WriteValue(name, TVariant(value));
}

void WriteBool(const Ref<IHierStorage>& storage, std::string_view name, bool doWrite, bool value) {
  if (storage && doWrite) storage->WriteValue(name, TVariant(FormatBool(value)));
}

void WriteInt(const Ref<IHierStorage>& storage, std::string_view name, bool doWrite,
              int64_t value) {
  if (storage && doWrite) storage->WriteValue(name, TVariant(FormatInt(value)));
}

void WriteFloat(const Ref<IHierStorage>& storage, std::string_view name, bool doWrite,
                double value) {
  if (storage && doWrite) storage->WriteValue(name, TVariant(FormatFloat(value)));
}

void WriteEnum(const Ref<IHierStorage>& storage, std::string_view name, std::string_view choices,
               bool doWrite, int index) {
  if (!storage || !doWrite) return;
  if (std::optional<std::string_view> item = ChoiceAt(choices, index))
    storage->WriteValue(name, TVariant(*item));
}

}  // namespace lumessa
