// Parameter spaces: the numeric slots (cells) one function reads and writes.
//
//   TParamCell           one cell: a single-precision value (and an object beside it)
//   TCellMatrix          the cells of a bound space, by [column][row]; owns its static cells
//   IParamDef            one cell's declaration (TParamDef, element "paramdef")
//   IParamDefCollection  the declarations and their layout (TParamDefCollection, "paramdefs")
//   IParamSpace          declarations plus the bound cells (TParamSpace, element "paramspace")
//
// Column 0 holds a function's results, columns 1.. its arguments. A static cell owns its value;
// any other cell is a reference to a cell of the source space, chosen by name or position, so a
// chain of functions shares values without copying.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/collection.h"
#include "engine/object.h"
#include "persistence/persist_object.h"

namespace lumessa {

// One slot of a parameter space. Functions compute on the value; the object beside it carries
// the few references a function reads instead of a number (the surface of the Monte Carlo
// sampler), which a 32-bit float cannot hold.
struct TParamCell {
  float value = 0;
  Ref<IInterface> object;
};

// The cells of a bound space: columns of cell addresses. Every position inside the layout has a
// cell: a position no declaration covers, or whose source cell is missing, gets a stand-in cell
// of its own (0 at first) instead of nothing, so bad data cannot make a function write through
// a null address. Stand-ins are never handed out for binding (GetCell answers none there).
class TCellMatrix {
 public:
  TCellMatrix() = default;
  TCellMatrix(TCellMatrix&&) = default;
  TCellMatrix& operator=(TCellMatrix&&) = default;
  TCellMatrix(const TCellMatrix&) = delete;
  TCellMatrix& operator=(const TCellMatrix&) = delete;

  int ColumnCount() const { return int(columns_.size()); }
  // 0 for a column outside the matrix.
  int ColumnLength(int col) const {
    return col >= 0 && col < ColumnCount() ? int(columns_[size_t(col)].size()) : 0;
  }
  // The cell at (col, row); none outside the layout.
  TParamCell* At(int col, int row) const {
    if (row < 0 || row >= ColumnLength(col)) return nullptr;
    return columns_[size_t(col)][size_t(row)];
  }
  // The cells of one column; empty outside the matrix.
  const std::vector<TParamCell*>& Column(int col) const;
  // Whether the cell at (col, row) is a real one (static or bound), not a stand-in.
  bool IsPresent(int col, int row) const;
  float Get(int col, int row) const {
    TParamCell* c = At(col, row);
    return c ? c->value : 0.0f;
  }
  void Set(int col, int row, float value) const {
    if (TParamCell* c = At(col, row)) c->value = value;
  }
  bool IsEmpty() const { return columns_.empty(); }
  // The matrix of an unbound space.
  static const TCellMatrix& Empty();
  // Releases the owned cells and empties the matrix.
  void Clear();

 private:
  friend class TParamSpace;
  std::vector<std::vector<TParamCell*>> columns_;
  // Static cells first, then the stand-ins.
  std::unique_ptr<TParamCell[]> owned_;
  size_t standInBegin_ = 0;
  size_t ownedCount_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Interfaces

class IParamDef : public virtual INamedObject {
 public:
  virtual int GetRow() const = 0;
  virtual void SetRow(int row) = 0;
  virtual int GetCol() const = 0;
  virtual void SetCol(int col) = 0;
  virtual bool IsStatic() const = 0;
  virtual void SetStatic(bool isStatic) = 0;
  virtual int GetOutRow() const = 0;
  virtual void SetOutRow(int row) = 0;
  virtual int GetOutCol() const = 0;
  virtual void SetOutCol(int col) = 0;
  virtual std::string GetOutName() const = 0;
  virtual void SetOutName(std::string_view name) = 0;
  virtual float GetValue() const = 0;
  virtual void SetValue(float value) = 0;
};

class IParamDefCollection : public virtual ICollection {
 public:
  // By index (integer) or by name (string).
  virtual Ref<IParamDef> GetByKey(const TVariant& key) const = 0;
  virtual Ref<IParamDef> GetByIndex(int index) const = 0;
  // The first definition of that name (ignoring ASCII case).
  virtual Ref<IParamDef> FindByName(std::string_view name) const = 0;
  // False when a definition already sits at the same position (or the position is out of
  // bounds); a row of -1 appends to the column.
  virtual bool Add(const Ref<IParamDef>& def) = 0;
  virtual Ref<IParamDef> FindAt(int col, int row) const = 0;
  virtual int GetColumnCount() const = 0;
  // 0 for a column at or beyond the column count.
  virtual int GetColumnLength(int col) const = 0;
};

class IParamSpace : public virtual IInterface {
 public:
  // Stores the source (may be none) and builds the cell matrix; a bound space is unbound first.
  virtual void Bind(const Ref<IParamSpace>& source) = 0;
  // Releases the static cells, empties the matrix and drops the source.
  virtual void Unbind() = 0;
  virtual void AddParamDef(std::string_view name, int col, float value, std::string_view outName,
                           bool isStatic, int row) = 0;
  virtual int GetColumnCount() const = 0;
  // Length of that column of the bound matrix.
  virtual int GetColumnLength(int col) const = 0;
  // 0 for a position outside the matrix.
  virtual float GetValue(int col, int row) const = 0;
  virtual void SetValue(int col, int row, float value) = 0;
  // 0 when no definition has that name.
  virtual float GetValueByName(std::string_view name) const = 0;
  // Nothing happens when no definition has that name.
  virtual void SetValueByName(std::string_view name, float value) = 0;
  // The cell, for binding other spaces to it; none for a position without a real cell.
  virtual TParamCell* GetCell(int col, int row) const = 0;
  virtual TParamCell* GetCellByName(std::string_view name) const = 0;
  // The object stored beside a cell's value (a surface reference); how hosts hand a function
  // something that is not a number.
  virtual Ref<IInterface> GetObjectByName(std::string_view name) const = 0;
  virtual void SetObjectByName(std::string_view name, const Ref<IInterface>& object) = 0;
  // The whole bound matrix (shared, not copied).
  virtual const TCellMatrix& GetCells() const = 0;
  virtual Ref<IParamDefCollection> GetParamDefs() const = 0;
  // A second matrix with the same layout and bindings whose static cells are new and start
  // with this space's current static values (one per particle of a particle system).
  virtual void BuildPrivateCells(TCellMatrix& out) const = 0;
  // Releases the static cells of such a matrix and empties it.
  virtual void FreePrivateCells(TCellMatrix& cells) const = 0;
};

// ---------------------------------------------------------------------------------------------
// Implementations

// Positions beyond these are refused: a data file cannot make a space allocate without bound.
inline constexpr int kMaxParamColumns = 256;
inline constexpr int kMaxParamRows = 4096;

// One cell's declaration: element "paramdef".
class TParamDef : public TPersistObject, public virtual IParamDef {
 public:
  void Initialize() override;

  int GetRow() const override { return row_; }
  void SetRow(int row) override { row_ = row; }
  int GetCol() const override { return col_; }
  void SetCol(int col) override { col_ = col; }
  bool IsStatic() const override { return static_; }
  void SetStatic(bool isStatic) override { static_ = isStatic; }
  int GetOutRow() const override { return outRow_; }
  void SetOutRow(int row) override { outRow_ = row; }
  int GetOutCol() const override { return outCol_; }
  void SetOutCol(int col) override { outCol_ = col; }
  std::string GetOutName() const override { return outName_; }
  void SetOutName(std::string_view name) override { outName_ = name; }
  float GetValue() const override { return value_; }
  void SetValue(float value) override { value_ = value; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  int row_ = -1;
  int col_ = 0;
  bool static_ = false;
  int outRow_ = 0;
  int outCol_ = 0;
  std::string outName_;
  float value_ = 0;
};

// The declarations of a space: element "paramdefs", items "paramdef".
class TParamDefCollection : public TPersistCollection, public virtual IParamDefCollection {
 public:
  void Initialize() override;

  void Delete(const TVariant& key) override;
  void Clear() override;

  Ref<IParamDef> GetByKey(const TVariant& key) const override;
  Ref<IParamDef> GetByIndex(int index) const override;
  Ref<IParamDef> FindByName(std::string_view name) const override;
  bool Add(const Ref<IParamDef>& def) override;
  Ref<IParamDef> FindAt(int col, int row) const override;
  int GetColumnCount() const override;
  int GetColumnLength(int col) const override;

  // The definitions in collection order.
  const std::vector<Ref<IParamDef>>& Defs() const { return defs_; }

 protected:
  void LoadItems(const Ref<IHierStorage>& storage) override;
  void LoadItem(const Ref<IHierStorage>& node) override;
  bool SaveItem(const Ref<IInterface>& item, const Ref<IHierStorage>& node) override;

 private:
  struct TLayout {
    std::vector<int> lengths;
    std::vector<std::vector<IParamDef*>> matrix;  // [col][row]
  };
  const TLayout& Layout() const;
  void DropLayout() { layoutValid_ = false; }

  // Typed mirror of the items, for lookups without a cast per access.
  std::vector<Ref<IParamDef>> defs_;
  mutable TLayout layout_;
  mutable bool layoutValid_ = false;
};

// Declarations plus the bound cells: element "paramspace".
class TParamSpace : public TPersistObject, public virtual IParamSpace {
 public:
  void Initialize() override;
  ~TParamSpace() override;

  void Bind(const Ref<IParamSpace>& source) override;
  void Unbind() override;
  void AddParamDef(std::string_view name, int col, float value, std::string_view outName,
                   bool isStatic, int row) override;
  int GetColumnCount() const override { return cells_.ColumnCount(); }
  int GetColumnLength(int col) const override { return cells_.ColumnLength(col); }
  float GetValue(int col, int row) const override { return cells_.Get(col, row); }
  void SetValue(int col, int row, float value) override { cells_.Set(col, row, value); }
  float GetValueByName(std::string_view name) const override;
  void SetValueByName(std::string_view name, float value) override;
  TParamCell* GetCell(int col, int row) const override;
  TParamCell* GetCellByName(std::string_view name) const override;
  Ref<IInterface> GetObjectByName(std::string_view name) const override;
  void SetObjectByName(std::string_view name, const Ref<IInterface>& object) override;
  const TCellMatrix& GetCells() const override { return cells_; }
  Ref<IParamDefCollection> GetParamDefs() const override { return defs_; }
  void BuildPrivateCells(TCellMatrix& out) const override;
  void FreePrivateCells(TCellMatrix& cells) const override { cells.Clear(); }

  bool IsBound() const { return bound_; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  // Builds a matrix with this space's layout bound to source.
  void BindInto(TCellMatrix& out, IParamSpace* source) const;
  // The cell of the named definition (stand-ins included), or none.
  TParamCell* NamedCell(std::string_view name) const;

  Ref<TParamDefCollection> defs_;
  Ref<IParamSpace> source_;
  TCellMatrix cells_;
  bool bound_ = false;
};

}  // namespace lumessa
