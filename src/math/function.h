// The function library: small numeric blocks described in the data files that animate widget
// properties, particles and paths.
//
//   IFunctionOwner        what a function binds to (its param space is the source of the cells)
//   IFunction             the operations every function kind answers; hosts use only these
//   IFunctionCollection   the sub-functions of a complex function
//   TFunction             the base: param space, binding, preparation function, host accessors
//   TComplexFunction      a tree node: calculates its sub-functions in order
//   TSelectorFunction     calculates one sub-function, chosen per kind
//   TFunctionHost         the host protocol (push, prepare/calculate, pull) for widgets
//   RegisterMathClasses   registers every function kind's type name
//
// The simple and table-driven kinds, the Monte Carlo sampler and the eval kind are in
// function_kinds.h.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/collection.h"
#include "engine/object.h"
#include "math/param_space.h"
#include "persistence/persist_object.h"

namespace lumessa {

class IFunctionCollection;

// Every function is also an owner: its sub-functions and its preparation function bind to its
// param space through it.
class IFunctionOwner : public virtual IInterface {
 public:
  virtual Ref<IParamSpace> GetParamSpace() const = 0;
};

// A function as its hosts see it. Values are single precision; column 0 of the cells holds the
// results, column 1 the arguments, further columns constants and values shared inside a tree.
class IFunction : public virtual INamedObject {
 public:
  // Binds the cells to the owner's param space (no owner: only static cells exist), binds the
  // preparation function and the sub-functions. Every bind resets the static cells.
  virtual void SetOwner(IFunctionOwner* owner) = 0;
  // Releases the cells and the bindings below this function.
  virtual void Unbind() = 0;
  // Runs the preparation (before part, sub-functions' preparation, after part); never the
  // function's own Calculate.
  virtual void Prepare() = 0;
  virtual Ref<IParamSpace> GetParamSpace() const = 0;
  // Length of column 1.
  virtual int GetArgCount() const = 0;
  // Length of column 0.
  virtual int GetResultCount() const = 0;
  // Writes cell (1, index); ignored outside the column.
  virtual void SetArg(int index, float value) = 0;
  // Writes cell (0, index); ignored outside the column.
  virtual void SetResult(int index, float value) = 0;
  // Reads cell (0, index); 0 outside the column.
  virtual float GetResult(int index) const = 0;
  virtual float GetValueByName(std::string_view name) const = 0;
  virtual void SetValueByName(std::string_view name, float value) = 0;
  // The name of the definition at that position; empty if none.
  virtual std::string GetParamName(int col, int row) const = 0;
  // The definition's outname, or its name when outname is empty: the host property a result or
  // argument cell exchanges values with.
  virtual std::string GetBoundName(int col, int row) const = 0;
  // One time step. No allocation and no lookup by name.
  virtual void Calculate() = 0;
  // The sub-functions of a complex function; none for the other kinds.
  virtual Ref<IFunctionCollection> GetFunctions() const = 0;
};

class IFunctionCollection : public virtual ICollection {
 public:
  // By index (integer) or by name (string).
  virtual Ref<IFunction> GetByKey(const TVariant& key) const = 0;
  virtual Ref<IFunction> GetByIndex(int index) const = 0;
  // The first function of that name (ignoring ASCII case).
  virtual Ref<IFunction> FindByName(std::string_view name) const = 0;
  virtual bool Add(const Ref<IFunction>& function) = 0;
};

// ---------------------------------------------------------------------------------------------

// Element "functions", items "function", each created by its "type".
class TFunctionCollection : public TTypedCreationPersistItemCollection,
                            public virtual IFunctionCollection {
 public:
  void Initialize() override;

  void Delete(const TVariant& key) override;
  void Clear() override;

  Ref<IFunction> GetByKey(const TVariant& key) const override;
  Ref<IFunction> GetByIndex(int index) const override;
  Ref<IFunction> FindByName(std::string_view name) const override;
  // Functions of the same name (or none) are all kept: data trees often leave sub-functions
  // unnamed, and only the first of a name is found by name.
  bool Add(const Ref<IFunction>& function) override;

  const std::vector<Ref<IFunction>>& Functions() const { return functions_; }

 protected:
  void AddItem(const Ref<IInterface>& item) override;

 private:
  std::vector<Ref<IFunction>> functions_;
};

// The base of every function kind: element "function".
class TFunction : public TPersistObject, public virtual IFunction, public virtual IFunctionOwner {
 public:
  void Initialize() override;

  // IFunction
  void SetOwner(IFunctionOwner* owner) override;
  void Unbind() override;
  void Prepare() override;
  Ref<IParamSpace> GetParamSpace() const override { return paramSpace_; }
  int GetArgCount() const override { return cells_->ColumnLength(1); }
  int GetResultCount() const override { return cells_->ColumnLength(0); }
  void SetArg(int index, float value) override { cells_->Set(1, index, value); }
  void SetResult(int index, float value) override { cells_->Set(0, index, value); }
  float GetResult(int index) const override { return cells_->Get(0, index); }
  float GetValueByName(std::string_view name) const override;
  void SetValueByName(std::string_view name, float value) override;
  std::string GetParamName(int col, int row) const override;
  std::string GetBoundName(int col, int row) const override;
  Ref<IFunctionCollection> GetFunctions() const override { return {}; }

  // A tree nested deeper than this in a data file loads no further functions below: loading,
  // binding and calculating recurse through the tree.
  static constexpr int kMaxTreeDepth = 64;

  // Counts the nesting of function elements being loaded (see TooDeep).
  void Load(const Ref<IHierStorage>& storage) override;

  // The preparation function (element "preparation_function"), or none.
  const Ref<IFunction>& PreparationFunction() const { return preparation_; }
  void SetPreparationFunction(const Ref<IFunction>& f) { preparation_ = f; }
  bool IsBound() const { return bound_; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

  // The three steps of Prepare.
  virtual void RunBeforePart();
  virtual void RunMiddleHook() {}
  virtual void RunAfterPart();

  // The bound cells (empty when unbound).
  const TCellMatrix& Cells() const { return *cells_; }
  // Whether the element being loaded lies beyond kMaxTreeDepth.
  static bool TooDeep();
  IFunctionOwner* Owner() const { return owner_; }

 private:
  // Not a counted reference: the owner owns this function (or, for a host, outlives the
  // binding), so a counted one would only make a cycle.
  IFunctionOwner* owner_ = nullptr;
  Ref<TParamSpace> paramSpace_;
  const TCellMatrix* cells_ = &TCellMatrix::Empty();
  Ref<IFunction> preparation_;
  Ref<IFunction> before_;
  Ref<IFunction> after_;
  bool bound_ = false;
};

// A tree node: element "functions" holds the sub-functions, calculated in list order.
class TComplexFunction : public TFunction {
 public:
  void Initialize() override;
  void SetOwner(IFunctionOwner* owner) override;
  void Unbind() override;
  void Calculate() override;
  Ref<IFunctionCollection> GetFunctions() const override { return functions_; }

  const Ref<TFunctionCollection>& Functions() const { return functions_; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  // The own before part, then the preparation of every sub-function.
  void RunBeforePart() override;

  // The sub-functions as bound, for calculation without lookups.
  const std::vector<Ref<IFunction>>& BoundFunctions() const { return subs_; }

 private:
  Ref<TFunctionCollection> functions_;
  std::vector<Ref<IFunction>> subs_;
};

// Calculates only the sub-function its kind selects; an index outside the list does nothing.
class TSelectorFunction : public TComplexFunction {
 public:
  void Calculate() override;
  virtual int GetSelectedIndex() = 0;
};

// Sub-function 0 is the selector: its result 0, truncated, picks the sub-function to calculate
// (so index 0 would pick the selector itself).
class TFuncSelectorFunction : public TSelectorFunction {
 public:
  int GetSelectedIndex() override;
};

// Cell (2, 0), truncated, picks the sub-function.
class TConstSelectorFunction : public TSelectorFunction {
 public:
  int GetSelectedIndex() override;
};

// ---------------------------------------------------------------------------------------------

// The host protocol: an object with named properties (a widget) that carries a function
// without being one. It binds the function with no owner, so the result and argument cells it
// exchanges must be static. Push copies host properties into the result cells, then the
// argument cells, by their bound names (values that are empty or not numeric are skipped);
// pull copies the results back into the host properties of those names. Columns 2 and above are
// never exchanged. The bound names are read once, when the function is attached.
class TFunctionHost {
 public:
  // Binds the function (with no owner) and remembers the bound names of columns 0 and 1.
  void Attach(const Ref<IFunction>& function);
  // Unbinds the function and forgets it.
  void Detach();
  const Ref<IFunction>& Function() const { return function_; }

  void Push(const IPropertyObject& host);
  void Pull(IPropertyObject& host) const;
  // When the function is attached or the host restarts: push, Prepare, pull, then push,
  // Calculate, pull.
  void Start(IPropertyObject& host);
  // Every time step: push, Calculate, pull.
  void Step(IPropertyObject& host);

 private:
  Ref<IFunction> function_;
  std::vector<std::string> resultNames_;
  std::vector<std::string> argNames_;
};

// Registers every function kind under its type name ("function_sum", ...). Called once at
// start-up; registering twice is an error.
void RegisterMathClasses();

}  // namespace lumessa
