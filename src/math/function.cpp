#include "math/function.h"

#include <cmath>

#include "engine/log.h"
#include "engine/text.h"

namespace lumessa {

namespace {

// Nesting of function elements being loaded; main thread only.
int loadDepth = 0;

// trunc(x) as an index; -1 when it is not a number or out of the int range.
int TruncIndex(float x) {
  if (!(x > -2147483648.0f && x < 2147483648.0f)) return -1;
  return int(std::trunc(x));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TFunctionCollection

void TFunctionCollection::Initialize() {
  TTypedCreationPersistItemCollection::Initialize();
  SetNodeName("functions");
  SetItemNodeName("function");
}

void TFunctionCollection::Delete(const TVariant& key) {
  TKeyRef k = ResolveKey(key);
  int index = -1;
  if (k.index) {
    index = *k.index >= 0 && *k.index < int64_t(functions_.size()) ? int(*k.index) : -1;
  } else if (k.name) {
    for (size_t i = 0; i < functions_.size() && index < 0; ++i)
      if (EqualsIgnoreCase(functions_[i]->GetName(), *k.name)) index = int(i);
  }
  if (index < 0) return;
  items_.DeleteAt(index);
  functions_.erase(functions_.begin() + index);
}

void TFunctionCollection::Clear() {
  TTypedCreationPersistItemCollection::Clear();
  functions_.clear();
}

Ref<IFunction> TFunctionCollection::GetByKey(const TVariant& key) const {
  TKeyRef k = ResolveKey(key);
  if (k.index) return GetByIndex(*k.index >= 0 && *k.index <= INT32_MAX ? int(*k.index) : -1);
  if (k.name) return FindByName(*k.name);
  return {};
}

Ref<IFunction> TFunctionCollection::GetByIndex(int index) const {
  return index >= 0 && index < int(functions_.size()) ? functions_[size_t(index)]
                                                      : Ref<IFunction>();
}

Ref<IFunction> TFunctionCollection::FindByName(std::string_view name) const {
  for (const auto& f : functions_)
    if (EqualsIgnoreCase(f->GetName(), name)) return f;
  return {};
}

bool TFunctionCollection::Add(const Ref<IFunction>& function) {
  if (!function) return false;
  // Automatic keys: the item list would otherwise refuse a second unnamed sub-function.
  items_.Add(Ref<IInterface>(function.get()), true);
  functions_.push_back(function);
  return true;
}

void TFunctionCollection::AddItem(const Ref<IInterface>& item) {
  Add(Query<IFunction>(item));
}

// ---------------------------------------------------------------------------------------------
// TFunction

void TFunction::Initialize() {
  TPersistObject::Initialize();
  SetNodeName("function");
  paramSpace_ = NewObject<TParamSpace>();
  cells_ = &paramSpace_->GetCells();
}

bool TFunction::TooDeep() {
  return loadDepth > kMaxTreeDepth;
}

void TFunction::Load(const Ref<IHierStorage>& storage) {
  struct TDepth {
    TDepth() { ++loadDepth; }
    ~TDepth() { --loadDepth; }
  } depth;
  TPersistObject::Load(storage);
}

void TFunction::LoadProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::LoadProperties(storage);
  if (bound_) Unbind();
  LoadObjectFromChild(Ref<IInterface>(paramSpace_.get()), storage, "paramspace", 0);
  preparation_.reset();
  if (TooDeep()) {
    if (LogEnabled())
      Log("function \"%s\": nested too deeply, nothing below it is loaded", GetName().c_str());
    return;
  }
  if (storage && storage->GetChildCount("preparation_function") > 0)
    preparation_ = Query<IFunction>(CreateFromChild(storage, "preparation_function", 0));
}

void TFunction::SaveProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::SaveProperties(storage);
  SaveObjectToChild(Ref<IInterface>(paramSpace_.get()), storage, "paramspace");
  if (preparation_)
    SaveObjectToChild(Ref<IInterface>(preparation_.get()), storage, "preparation_function");
}

void TFunction::SetOwner(IFunctionOwner* owner) {
  // Rebinding releases the previous cells first, below this function too.
  if (bound_) Unbind();
  owner_ = owner;
  paramSpace_->Bind(owner ? owner->GetParamSpace() : Ref<IParamSpace>());
  cells_ = &paramSpace_->GetCells();
  bound_ = true;
  before_.reset();
  after_.reset();
  if (preparation_) {
    preparation_->SetOwner(this);
    Ref<IFunctionCollection> parts = preparation_->GetFunctions();
    if (parts && parts->Count() > 0) {
      before_ = parts->FindByName("before");
      after_ = parts->FindByName("after");
    }
    if (!before_ && !after_) before_ = preparation_;
  }
}

void TFunction::Unbind() {
  if (preparation_) preparation_->Unbind();
  if (paramSpace_) paramSpace_->Unbind();
  before_.reset();
  after_.reset();
  owner_ = nullptr;
  bound_ = false;
}

void TFunction::Prepare() {
  RunBeforePart();
  RunMiddleHook();
  RunAfterPart();
}

void TFunction::RunBeforePart() {
  if (before_) before_->Calculate();
}

void TFunction::RunAfterPart() {
  if (after_) after_->Calculate();
}

float TFunction::GetValueByName(std::string_view name) const {
  return paramSpace_ ? paramSpace_->GetValueByName(name) : 0.0f;
}

void TFunction::SetValueByName(std::string_view name, float value) {
  if (paramSpace_) paramSpace_->SetValueByName(name, value);
}

std::string TFunction::GetParamName(int col, int row) const {
  Ref<IParamDef> d = paramSpace_ ? paramSpace_->GetParamDefs()->FindAt(col, row) : nullptr;
  return d ? d->GetName() : std::string();
}

std::string TFunction::GetBoundName(int col, int row) const {
  Ref<IParamDef> d = paramSpace_ ? paramSpace_->GetParamDefs()->FindAt(col, row) : nullptr;
  if (!d) return {};
  std::string out = d->GetOutName();
  return out.empty() ? d->GetName() : out;
}

// ---------------------------------------------------------------------------------------------
// TComplexFunction and the selectors

void TComplexFunction::Initialize() {
  TFunction::Initialize();
  functions_ = NewObject<TFunctionCollection>();
}

void TComplexFunction::LoadProperties(const Ref<IHierStorage>& storage) {
  TFunction::LoadProperties(storage);
  functions_->Clear();
  if (TooDeep()) return;
  LoadObjectFromChild(Ref<IInterface>(functions_.get()), storage, "functions", 0);
}

void TComplexFunction::SaveProperties(const Ref<IHierStorage>& storage) {
  TFunction::SaveProperties(storage);
  SaveObjectToChild(Ref<IInterface>(functions_.get()), storage, "functions");
}

void TComplexFunction::SetOwner(IFunctionOwner* owner) {
  TFunction::SetOwner(owner);
  subs_ = functions_->Functions();
  for (const auto& f : subs_) f->SetOwner(this);
}

void TComplexFunction::Unbind() {
  for (const auto& f : subs_) f->Unbind();
  subs_.clear();
  TFunction::Unbind();
}

void TComplexFunction::RunBeforePart() {
  TFunction::RunBeforePart();
  for (const auto& f : subs_) f->Prepare();
}

void TComplexFunction::Calculate() {
  for (const auto& f : subs_) f->Calculate();
}

void TSelectorFunction::Calculate() {
  const int i = GetSelectedIndex();
  const auto& subs = BoundFunctions();
  if (i >= 0 && i < int(subs.size())) subs[size_t(i)]->Calculate();
}

int TFuncSelectorFunction::GetSelectedIndex() {
  const auto& subs = BoundFunctions();
  if (subs.empty()) return -1;
  IFunction& selector = *subs[0];
  selector.Calculate();
  return selector.GetResultCount() >= 1 ? TruncIndex(selector.GetResult(0)) : -1;
}

int TConstSelectorFunction::GetSelectedIndex() {
  const TParamCell* c = Cells().At(2, 0);
  return c ? TruncIndex(c->value) : -1;
}

// ---------------------------------------------------------------------------------------------
// TFunctionHost

void TFunctionHost::Attach(const Ref<IFunction>& function) {
  Detach();
  function_ = function;
  if (!function_) return;
  function_->SetOwner(nullptr);
  for (int i = 0, n = function_->GetResultCount(); i < n; ++i)
    resultNames_.push_back(function_->GetBoundName(0, i));
  for (int i = 0, n = function_->GetArgCount(); i < n; ++i)
    argNames_.push_back(function_->GetBoundName(1, i));
}

void TFunctionHost::Detach() {
  if (function_) function_->Unbind();
  function_.reset();
  resultNames_.clear();
  argNames_.clear();
}

void TFunctionHost::Push(const IPropertyObject& host) {
  if (!function_) return;
  for (size_t i = 0; i < resultNames_.size(); ++i) {
    if (resultNames_[i].empty()) continue;
    TVariant v = host.GetProperty(resultNames_[i]);
    if (v.ConvertsToNumber()) function_->SetResult(int(i), float(v.ToFloat()));
  }
  for (size_t i = 0; i < argNames_.size(); ++i) {
    if (argNames_[i].empty()) continue;
    TVariant v = host.GetProperty(argNames_[i]);
    if (v.ConvertsToNumber()) function_->SetArg(int(i), float(v.ToFloat()));
  }
}

void TFunctionHost::Pull(IPropertyObject& host) const {
  if (!function_) return;
  for (size_t i = 0; i < resultNames_.size(); ++i)
    if (!resultNames_[i].empty())
      host.SetProperty(resultNames_[i], TVariant(double(function_->GetResult(int(i)))));
}

void TFunctionHost::Start(IPropertyObject& host) {
  if (!function_) return;
  Push(host);
  function_->Prepare();
  Pull(host);
  Step(host);
}

void TFunctionHost::Step(IPropertyObject& host) {
  if (!function_) return;
  Push(host);
  function_->Calculate();
  Pull(host);
}

}  // namespace lumessa
