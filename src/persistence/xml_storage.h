// Hierarchical storage: every data file is an XML document, and every object reads and writes
// itself through IHierStorage, one node per XML element.
//
//   IHierStorage       a node: attributes are its named values, child elements its sub-nodes
//   IHierStorageRoot   the document operations of a root node (load, save, text)
//   free functions     CreateStorage, LoadStorageFromFile/Text, the cache of referenced files
//                      (OpenStorageSpec, SaveStorageToSpec, ClearStorageCache)
//   typed accessors    ReadString/Bool/Int/Float/Enum/Text and their Write forms
//
// TXMLStorage, the implementation behind all of these, lives in xml_storage.cpp. A node whose
// "_outstorage" attribute names another file (a storage reference) takes every value and child it
// lacks from that file's root: its template.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/object.h"
#include "engine/variant.h"

namespace lumessa {

class IStorable;

// One XML element. Names of elements and attributes are case-sensitive. Values cross the
// interface as UTF-8 text.
class IHierStorage : public virtual IInterface {
 public:
  // The element's tag name.
  virtual std::string GetNodeName() const = 0;
  // Number of attributes.
  virtual int GetValueCount() const = 0;
  // Name of the attribute at index; empty when out of range.
  virtual std::string GetValueName(int index) const = 0;
  // Attribute by index, with the template fallback of ReadValue by its name.
  virtual TVariant ReadValueAt(int index, const TVariant& fallback) const = 0;
  // Attribute by name as a string variant. When the node lacks it, or states exactly the text
  // of `fallback`, the template's value is taken; otherwise the stated value, or `fallback` as
  // text.
  virtual TVariant ReadValue(std::string_view name, const TVariant& fallback) const = 0;
  // ReadValue for the typed accessors: the same text, or nothing where ReadValue would answer
  // with the fallback itself (so that the fallback need not go through text). The view is
  // valid until the storage, its template or that value changes; copy it to keep it.
  virtual std::optional<std::string_view> ReadValueView(std::string_view name,
                                                        const TVariant& fallback) const = 0;
  virtual bool WriteValueAt(int index, const TVariant& value) = 0;
  // Sets (creates) the attribute. False for a name that is not a valid XML name.
  virtual bool WriteValue(std::string_view name, const TVariant& value) = 0;
  virtual bool RemoveValue(std::string_view name) = 0;

  // Appends a new child element; empty for a name that is not a valid XML name.
  virtual Ref<IHierStorage> AddChild(std::string_view name) = 0;
  // Child elements of that tag (all child nodes for an empty name); the template's count when
  // the node has none.
  virtual int GetChildCount(std::string_view name) const = 0;
  // The index-th such child; if absent, the template's.
  virtual Ref<IHierStorage> GetChild(std::string_view name, int index) const = 0;
  // The first child element of that name, without template fallback.
  virtual Ref<IHierStorage> FindChild(std::string_view name) const = 0;

  // The element's text: all text below it, in document order.
  virtual std::string GetText() const = 0;
  // Replaces the element's content by one text node.
  virtual void SetText(const TVariant& value) = 0;
  // GetChild(name, 0), then its text; Unassigned when there is no such child.
  virtual TVariant ReadChildText(std::string_view name) const = 0;
  // GetChild(name, 0), or AddChild(name) when absent, then SetText. False when the child
  // cannot be made.
  virtual bool WriteChildText(std::string_view name, const TVariant& value) = 0;

  // Appends a deep copy of another storage's element as a child.
  virtual bool AppendCopy(const Ref<IHierStorage>& storage) = 0;
  // Removes that child element (a storage of it stays usable, detached from this node).
  virtual bool RemoveChild(const Ref<IHierStorage>& child) = 0;
  // The element's XML text (UTF-8, no declaration).
  virtual std::string GetXml() const = 0;
  // With a single text child or none: the text; otherwise the XML text of the children.
  virtual std::string GetInnerText() const = 0;
  // If value parses as an XML document, a copy of its root is appended as a child; otherwise
  // value becomes the element's text.
  virtual void SetInnerXml(std::string_view value) = 0;
  // GetChild(name, 0), then GetInnerText; Unassigned when there is no such child.
  virtual TVariant ReadChildInner(std::string_view name) const = 0;
  virtual bool WriteChildInner(std::string_view name, std::string_view value) = 0;

  // Walks "a/b/c": each step is the first child whose tag or "name" attribute equals it
  // ignoring case, looked for first among the children of the child named `section` (when
  // given), then among the node's own children. Empty when a step finds nothing; the node
  // itself for an empty path.
  virtual Ref<IHierStorage> GetByPath(std::string_view path, std::string_view section) const = 0;
  // Unbinds the storage from its element.
  virtual void Detach() = 0;
};

// The document operations, answered by root storages.
class IHierStorageRoot : public virtual IInterface {
 public:
  // A new empty document whose root element has that name.
  virtual bool CreateNew(std::string_view rootName) = 0;
  // Reads the file through the data-file layer; false on any error.
  virtual bool LoadFromFile(std::string_view fileName) = 0;
  virtual bool LoadFromText(std::string_view text) = 0;
  // object.Load(this storage).
  virtual bool LoadObject(const Ref<IStorable>& object) = 0;
  // Writes the document's XML text (UTF-8) to a plain file, replacing it atomically.
  virtual bool SaveToFile(std::string_view fileName) = 0;
  // The document's XML text (UTF-8); nothing when the storage holds no document.
  virtual std::optional<std::string> GetDocumentText() const = 0;
  // object.Save(this storage).
  virtual bool SaveObject(const Ref<IStorable>& object) = 0;
};

// ---------------------------------------------------------------------------------------------
// Documents

// A storage bound to nothing yet; LoadFromText, LoadFromFile or CreateNew give it a document.
Ref<IHierStorageRoot> NewStorage();
// A new document with that root element; empty for an invalid root name.
Ref<IHierStorageRoot> CreateStorage(std::string_view rootName);
// The root element of the file, or empty.
Ref<IHierStorage> LoadStorageFromFile(std::string_view fileName);
// The root element of the text, or empty when it does not parse. A text that opens with an XML
// declaration naming any encoding but utf-8 is read as Windows-1252.
Ref<IHierStorage> LoadStorageFromText(std::string_view text);

// Storage references: "file=path\cryptkey=key" (the key optional; with it the file holds the
// enciphered text in hexadecimal).
//
// The root of the referenced file, loaded once and kept in a process-wide cache keyed by the file
// (ignoring case) until ClearStorageCache. Empty when the file is missing, does not parse, or
// is being opened already (a chain of "_outstorage" files that leads back to itself).
Ref<IHierStorage> OpenStorageSpec(std::string_view storageSpec);
// Writes the storage's document to the referenced file (enciphered when it names a key),
// creating missing folders, replacing the file atomically. The file's cache entry is dropped.
bool SaveStorageToSpec(const Ref<IHierStorage>& storage, std::string_view storageSpec);
void ClearStorageCache();

// True for a valid XML name (what element and attribute names must be to be written).
bool IsValidXmlName(std::string_view name);

// ---------------------------------------------------------------------------------------------
// Typed accessors. `storage` may be empty: reads give the fallback, writes do nothing. Every
// write does nothing when doWrite is false (callers pass "differs from its default").

std::string ReadString(const Ref<IHierStorage>& storage, std::string_view name,
                       std::string_view fallback = {});
// ReadString, then %macro% expansion through the language tables, as UTF-16.
std::u16string ReadText(const Ref<IHierStorage>& storage, std::string_view name,
                        std::string_view fallback = {});
// Exactly "yes" or "no"; anything else gives the fallback.
bool ReadBool(const Ref<IHierStorage>& storage, std::string_view name, bool fallback);
// Optional sign, then decimal digits or hexadecimal after "$" or "0x". Hexadecimal up to
// $FFFFFFFF reads as a 32-bit pattern; other text, or a value out of range, gives the fallback.
int ReadInt(const Ref<IHierStorage>& storage, std::string_view name, int fallback);
// "." is the decimal point whatever the locale.
double ReadFloat(const Ref<IHierStorage>& storage, std::string_view name, double fallback);
// choices is a "/"-separated list such as "/normal/screen/overlay" (the item before the first
// "/" does not count); the 0-based position of the value among the items, compared
// case-sensitively, or the fallback.
int ReadEnum(const Ref<IHierStorage>& storage, std::string_view name, std::string_view choices,
             int fallback);

void WriteString(const Ref<IHierStorage>& storage, std::string_view name, bool doWrite,
                 std::string_view value);
void WriteBool(const Ref<IHierStorage>& storage, std::string_view name, bool doWrite, bool value);
void WriteInt(const Ref<IHierStorage>& storage, std::string_view name, bool doWrite, int64_t value);
// Shortest form with up to 15 significant digits, "." as decimal point.
void WriteFloat(const Ref<IHierStorage>& storage, std::string_view name, bool doWrite,
                double value);
// Writes the item at index, if there is one.
void WriteEnum(const Ref<IHierStorage>& storage, std::string_view name, std::string_view choices,
               bool doWrite, int index);

}  // namespace lumessa
