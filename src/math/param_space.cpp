#include "math/param_space.h"

#include <algorithm>
#include <functional>

#include "engine/log.h"
#include "engine/text.h"

namespace lumessa {

namespace {
// A collection cannot hold more declarations than this; loading and lookups stay cheap.
constexpr int kMaxParamDefs = 4096;
const std::vector<TParamCell*> kNoColumn;

// Whether p points into [begin, end); cells of other spaces compare safely with std::less.
bool Within(const TParamCell* p, const TParamCell* begin, const TParamCell* end) {
  std::less<const TParamCell*> less;
  return !less(p, begin) && less(p, end);
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// TCellMatrix

const std::vector<TParamCell*>& TCellMatrix::Column(int col) const {
  return col >= 0 && col < ColumnCount() ? columns_[size_t(col)] : kNoColumn;
}

bool TCellMatrix::IsPresent(int col, int row) const {
  TParamCell* c = At(col, row);
  if (!c) return false;
  return !Within(c, owned_.get() + standInBegin_, owned_.get() + ownedCount_);
}

const TCellMatrix& TCellMatrix::Empty() {
  static const TCellMatrix empty;
  return empty;
}

void TCellMatrix::Clear() {
  columns_.clear();
  owned_.reset();
  standInBegin_ = ownedCount_ = 0;
}

// ---------------------------------------------------------------------------------------------
// TParamDef

void TParamDef::Initialize() {
  TPersistObject::Initialize();
  SetNodeName("paramdef");
}

void TParamDef::LoadProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::LoadProperties(storage);
  row_ = ReadInt(storage, "row", -1);
  col_ = ReadInt(storage, "col", 0);
  static_ = ReadBool(storage, "static", false);
  value_ = static_ ? float(ReadFloat(storage, "value", 0)) : 0.0f;
  outName_ = ReadString(storage, "outname", "");
  if (static_ || !outName_.empty()) {
    outRow_ = outCol_ = 0;
    return;
  }
  outRow_ = ReadInt(storage, "outrow", -1);
  outCol_ = ReadInt(storage, "outcol", -1);
  // Neither position given: the cell binds to the source cell of its own name.
  if (outRow_ == -1 && outCol_ == -1) outName_ = GetName();
  if (outRow_ == -1) outRow_ = 0;
  if (outCol_ == -1) outCol_ = 0;
}

void TParamDef::SaveProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::SaveProperties(storage);
  WriteInt(storage, "row", row_ != -1, row_);
  WriteInt(storage, "col", col_ != 0, col_);
  WriteBool(storage, "static", static_, static_);
  WriteFloat(storage, "value", static_ && value_ != 0, value_);
  // A binding by its own name is what loading assumes when nothing is written.
  const bool ownName = !static_ && outName_ == GetName();
  WriteString(storage, "outname", !outName_.empty() && !ownName, outName_);
  if (!static_ && outName_.empty()) {
    WriteInt(storage, "outrow", true, outRow_);
    WriteInt(storage, "outcol", true, outCol_);
  }
}

// ---------------------------------------------------------------------------------------------
// TParamDefCollection

void TParamDefCollection::Initialize() {
  TPersistCollection::Initialize();
  SetNodeName("paramdefs");
  SetItemNodeName("paramdef");
}

void TParamDefCollection::Delete(const TVariant& key) {
  TKeyRef k = ResolveKey(key);
  int index = -1;
  if (k.index) {
    index = *k.index >= 0 && *k.index < int64_t(defs_.size()) ? int(*k.index) : -1;
  } else if (k.name) {
    for (size_t i = 0; i < defs_.size() && index < 0; ++i)
      if (EqualsIgnoreCase(defs_[i]->GetName(), *k.name)) index = int(i);
  }
  if (index < 0) return;
  items_.DeleteAt(index);
  defs_.erase(defs_.begin() + index);
  DropLayout();
}

void TParamDefCollection::Clear() {
  TPersistCollection::Clear();
  defs_.clear();
  DropLayout();
}

Ref<IParamDef> TParamDefCollection::GetByKey(const TVariant& key) const {
  TKeyRef k = ResolveKey(key);
  if (k.index)
    return *k.index >= 0 && *k.index < int64_t(defs_.size()) ? defs_[size_t(*k.index)]
                                                             : Ref<IParamDef>();
  if (k.name) return FindByName(*k.name);
  return {};
}

Ref<IParamDef> TParamDefCollection::GetByIndex(int index) const {
  return index >= 0 && index < int(defs_.size()) ? defs_[size_t(index)] : Ref<IParamDef>();
}

Ref<IParamDef> TParamDefCollection::FindByName(std::string_view name) const {
  // Names are not unique keys here: unnamed cells are common, so the list is searched by the
  // definitions' own names and the first match wins.
  for (const auto& d : defs_)
    if (EqualsIgnoreCase(d->GetName(), name)) return d;
  return {};
}

bool TParamDefCollection::Add(const Ref<IParamDef>& def) {
  if (!def) return false;
  const int col = def->GetCol();
  int row = def->GetRow();
  if (col < 0 || col >= kMaxParamColumns || row < -1 || row >= kMaxParamRows ||
      int(defs_.size()) >= kMaxParamDefs) {
    if (LogEnabled())
      Log("paramdef \"%s\" skipped: position (%d, %d) out of bounds", def->GetName().c_str(), col,
          row);
    return false;
  }
  if (row >= 0 && FindAt(col, row)) return false;
  if (row == -1) {
    row = GetColumnLength(col);
    if (row >= kMaxParamRows) return false;
    def->SetRow(row);
  }
  // The item list carries automatic keys: declarations are found by position or by their own
  // names, which may repeat or be empty.
  items_.Add(Ref<IInterface>(def.get()), true);
  defs_.push_back(def);
  DropLayout();
  return true;
}

Ref<IParamDef> TParamDefCollection::FindAt(int col, int row) const {
  for (const auto& d : defs_)
    if (d->GetCol() == col && d->GetRow() == row) return d;
  return {};
}

const TParamDefCollection::TLayout& TParamDefCollection::Layout() const {
  if (layoutValid_) return layout_;
  layout_.lengths.clear();
  layout_.matrix.clear();
  int columns = 0;
  for (const auto& d : defs_) columns = std::max(columns, d->GetCol() + 1);
  layout_.lengths.assign(size_t(columns), 0);
  for (const auto& d : defs_)
    if (d->GetCol() >= 0 && d->GetRow() >= 0)
      layout_.lengths[size_t(d->GetCol())] =
          std::max(layout_.lengths[size_t(d->GetCol())], d->GetRow() + 1);
  layout_.matrix.resize(size_t(columns));
  for (int c = 0; c < columns; ++c)
    layout_.matrix[size_t(c)].assign(size_t(layout_.lengths[size_t(c)]), nullptr);
  for (const auto& d : defs_)
    if (d->GetCol() >= 0 && d->GetRow() >= 0)
      layout_.matrix[size_t(d->GetCol())][size_t(d->GetRow())] = d.get();
  layoutValid_ = true;
  return layout_;
}

int TParamDefCollection::GetColumnCount() const {
  return int(Layout().lengths.size());
}

int TParamDefCollection::GetColumnLength(int col) const {
  const TLayout& l = Layout();
  return col >= 0 && col < int(l.lengths.size()) ? l.lengths[size_t(col)] : 0;
}

void TParamDefCollection::LoadItems(const Ref<IHierStorage>& storage) {
  DropLayout();
  TPersistCollection::LoadItems(storage);
  DropLayout();
}

void TParamDefCollection::LoadItem(const Ref<IHierStorage>& node) {
  const int row = ReadInt(node, "row", -1);
  const int col = ReadInt(node, "col", 0);
  // A later element at the same position overrides the earlier one's attributes.
  if (Ref<IParamDef> existing = row >= 0 ? FindAt(col, row) : Ref<IParamDef>()) {
    if (Ref<IStorable> s = Query<IStorable>(existing)) s->Load(node);
    DropLayout();
    return;
  }
  Ref<TParamDef> def = NewObject<TParamDef>();
  def->Load(node);
  Add(def);
}

bool TParamDefCollection::SaveItem(const Ref<IInterface>& item, const Ref<IHierStorage>& node) {
  Ref<IStorable> s = Query<IStorable>(item);
  if (!s) return false;
  s->Save(node);
  return true;
}

// ---------------------------------------------------------------------------------------------
// TParamSpace

void TParamSpace::Initialize() {
  TPersistObject::Initialize();
  SetNodeName("paramspace");
  defs_ = NewObject<TParamDefCollection>();
}

TParamSpace::~TParamSpace() = default;

void TParamSpace::LoadProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::LoadProperties(storage);
  defs_->Clear();
  LoadObjectFromChild(Ref<IInterface>(defs_.get()), storage, "paramdefs", 0);
}

void TParamSpace::SaveProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::SaveProperties(storage);
  SaveObjectToChild(Ref<IInterface>(defs_.get()), storage, "paramdefs");
}

void TParamSpace::AddParamDef(std::string_view name, int col, float value, std::string_view outName,
                              bool isStatic, int row) {
  Ref<TParamDef> def = NewObject<TParamDef>();
  def->SetName(name);
  def->SetCol(col);
  def->SetRow(row);
  def->SetValue(value);
  def->SetOutName(outName);
  def->SetStatic(isStatic);
  defs_->Add(def);
}

void TParamSpace::BindInto(TCellMatrix& out, IParamSpace* source) const {
  out.Clear();
  const int columns = defs_->GetColumnCount();
  out.columns_.resize(size_t(columns));
  for (int c = 0; c < columns; ++c)
    out.columns_[size_t(c)].assign(size_t(defs_->GetColumnLength(c)), nullptr);

  // Bound cells first; static cells get their storage once the block size is known. A later
  // declaration at the same position wins, whichever kind it is.
  struct TStatic {
    TParamCell** slot;
    float value;
  };
  std::vector<TStatic> statics;
  for (const auto& d : defs_->Defs()) {
    const int c = d->GetCol(), r = d->GetRow();
    if (c < 0 || c >= columns || r < 0 || r >= out.ColumnLength(c)) continue;
    TParamCell** slot = &out.columns_[size_t(c)][size_t(r)];
    if (d->IsStatic()) {
      statics.push_back({slot, d->GetValue()});
      *slot = nullptr;
    } else if (source) {
      const std::string outName = d->GetOutName();
      *slot = outName.empty() ? source->GetCell(d->GetOutCol(), d->GetOutRow())
                              : source->GetCellByName(outName);
    } else {
      *slot = nullptr;
    }
  }

  // One block: the static cells, then a stand-in for every position still without a cell.
  size_t empty = 0;
  for (const auto& column : out.columns_)
    for (TParamCell* p : column) empty += p ? 0 : 1;
  out.ownedCount_ = empty;
  out.owned_ = empty ? std::make_unique<TParamCell[]>(empty) : nullptr;
  size_t next = 0;
  for (const TStatic& st : statics) {
    if (!*st.slot) {
      *st.slot = &out.owned_[next++];
    } else if (!Within(*st.slot, out.owned_.get(), out.owned_.get() + next)) {
      continue;  // a later bound declaration took this position
    }
    (*st.slot)->value = st.value;
  }
  out.standInBegin_ = next;
  for (auto& column : out.columns_)
    for (TParamCell*& p : column)
      if (!p) p = &out.owned_[next++];
}

void TParamSpace::Bind(const Ref<IParamSpace>& source) {
  Unbind();
  source_ = source;
  BindInto(cells_, source_.get());
  bound_ = true;
}

void TParamSpace::Unbind() {
  cells_.Clear();
  source_.reset();
  bound_ = false;
}

void TParamSpace::BuildPrivateCells(TCellMatrix& out) const {
  BindInto(out, source_.get());
  for (const auto& d : defs_->Defs()) {
    if (!d->IsStatic()) continue;
    TParamCell* mine = cells_.At(d->GetCol(), d->GetRow());
    TParamCell* theirs = out.At(d->GetCol(), d->GetRow());
    if (mine && theirs && theirs != mine) {
      theirs->value = mine->value;
      theirs->object = mine->object;
    }
  }
}

TParamCell* TParamSpace::NamedCell(std::string_view name) const {
  Ref<IParamDef> d = defs_->FindByName(name);
  return d ? cells_.At(d->GetCol(), d->GetRow()) : nullptr;
}

float TParamSpace::GetValueByName(std::string_view name) const {
  TParamCell* c = NamedCell(name);
  return c ? c->value : 0.0f;
}

void TParamSpace::SetValueByName(std::string_view name, float value) {
  if (TParamCell* c = NamedCell(name)) c->value = value;
}

TParamCell* TParamSpace::GetCell(int col, int row) const {
  return cells_.IsPresent(col, row) ? cells_.At(col, row) : nullptr;
}

TParamCell* TParamSpace::GetCellByName(std::string_view name) const {
  Ref<IParamDef> d = defs_->FindByName(name);
  return d ? GetCell(d->GetCol(), d->GetRow()) : nullptr;
}

Ref<IInterface> TParamSpace::GetObjectByName(std::string_view name) const {
  TParamCell* c = NamedCell(name);
  return c ? c->object : Ref<IInterface>();
}

void TParamSpace::SetObjectByName(std::string_view name, const Ref<IInterface>& object) {
  if (TParamCell* c = NamedCell(name)) c->object = object;
}

}  // namespace lumessa
