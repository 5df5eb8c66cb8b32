#include "widgets/widget_group.h"

#include "engine/log.h"
#include "widgets/widget_factory.h"
#include "widgets/widget_storage.h"

namespace lumessa {

namespace {

int loadDepth = 0;  // nesting of widget collections being loaded; main thread only

}  // namespace

// ---------------------------------------------------------------------------------------------
// TSimpleWidgetCollection

void TSimpleWidgetCollection::Initialize() {
  TTypedCreationPersistItemCollection::Initialize();
  SetNodeName("widgets");
  SetItemNodeName("widget");
}

int TSimpleWidgetCollection::IndexOf(std::string_view name) const {
  const uint32_t key = NameKey(name);
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].key == key) return int(i);
  return -1;
}

int TSimpleWidgetCollection::IndexOfWidget(const IWidget* widget) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].widget.get() == widget) return int(i);
  return -1;
}

void TSimpleWidgetCollection::Delete(const TVariant& key) {
  TKeyRef k = ResolveKey(key);
  int index = -1;
  if (k.index && *k.index >= 0 && *k.index < Count()) index = int(*k.index);
  if (k.name) index = IndexOf(*k.name);
  if (index >= 0) DeleteAt(index);
}

void TSimpleWidgetCollection::DeleteAt(int index) {
  if (index >= 0 && index < Count()) entries_.erase(entries_.begin() + index);
}

void TSimpleWidgetCollection::Clear() {
  for (int i = Count() - 1; i >= 0; --i)
    if (i < Count()) DeleteAt(i);
}

bool TSimpleWidgetCollection::Add(const Ref<IWidget>& widget) {
  return widget && Insert(widget, NameKey(widget->GetName()));
}

bool TSimpleWidgetCollection::AddNamed(const Ref<IWidget>& widget, std::string_view name) {
  return widget && Insert(widget, NameKey(name));
}

bool TSimpleWidgetCollection::Insert(const Ref<IWidget>& widget, uint32_t key) {
  entries_.push_back({widget, key});
  return true;
}

Ref<IWidget> TSimpleWidgetCollection::Get(const TVariant& key) const {
  TKeyRef k = ResolveKey(key);
  if (k.index) return *k.index >= 0 && *k.index < Count() ? GetByIndex(int(*k.index)) : nullptr;
  if (k.name) return GetByName(*k.name);
  return {};
}

Ref<IWidget> TSimpleWidgetCollection::GetByIndex(int index) const {
  return index >= 0 && index < Count() ? entries_[size_t(index)].widget : Ref<IWidget>();
}

Ref<IWidget> TSimpleWidgetCollection::GetByName(std::string_view name) const {
  return GetByIndex(IndexOf(name));
}

void TSimpleWidgetCollection::LoadItems(const Ref<IHierStorage>& storage) {
  if (loadDepth >= kMaxLoadDepth) {
    Log("widgets nested deeper than %d levels are skipped", kMaxLoadDepth);
    return;
  }
  ++loadDepth;
  TTypedCreationPersistItemCollection::LoadItems(storage);
  --loadDepth;
}

Ref<IInterface> TSimpleWidgetCollection::CreateItem(const Ref<IHierStorage>& node) {
  std::string type = ReadString(node, "type");
  Ref<IInterface> item = TTypedCreationPersistItemCollection::CreateItem(node);
  if (!item)
    Log("widget '%s': unknown type \"%s\", skipped", ReadString(node, "name").c_str(),
        type.c_str());
  return item;
}

void TSimpleWidgetCollection::AddItem(const Ref<IInterface>& item) {
  if (Ref<IWidget> widget = Query<IWidget>(item)) {
    Add(widget);
    return;
  }
  Ref<INamedObject> named = Query<INamedObject>(item);
  Log("'%s' is not a widget, skipped", named ? named->GetName().c_str() : "");
}

void TSimpleWidgetCollection::SaveItems(const Ref<IHierStorage>& storage) {
  if (!storage) return;
  std::vector<Ref<IWidget>> widgets;  // saving runs widget code that could change the list
  widgets.reserve(entries_.size());
  for (const TEntry& e : entries_) widgets.push_back(e.widget);
  for (const Ref<IWidget>& widget : widgets) {
    Ref<IHierStorage> node = storage->AddChild(ItemNodeName());
    if (node && !SaveItem(Ref<IInterface>(widget.get()), node)) storage->RemoveChild(node);
  }
}

// ---------------------------------------------------------------------------------------------
// TWidgetCollection

bool TWidgetCollection::Insert(const Ref<IWidget>& widget, uint32_t key) {
  if (IndexOfWidget(widget.get()) >= 0) return false;
  Ref<IWidget> keep = widget;
  restart_ = true;
  Ref<IWidgetOwner> old = widget->GetOwner();
  if (old.get() != owner_) {
    // A widget lives in one collection: take it out of its old group (which redraws its old
    // area and detaches it), or at least detach it from its old owner.
    bool removed = false;
    if (Ref<IWidget> oldWidget = Query<IWidget>(old))
      if (Ref<IWidgetCollection> oldChildren = oldWidget->GetChildren())
        removed = oldChildren.get() != this && oldChildren->Remove(widget.get());
    if (old && !removed) widget->Detach();
    if (owner_) widget->SetOwner(owner_);
  }
  widget->UpdateDirty(false, true);
  changed_ = true;
  size_t pos = entries_.size();
  if (sorted_) {
    const int z = widget->GetZ();
    while (pos > 0 && entries_[pos - 1].widget->GetZ() > z) --pos;
  }
  entries_.insert(entries_.begin() + ptrdiff_t(pos), TEntry{widget, key});
  return true;
}

void TWidgetCollection::DeleteAt(int index) {
  if (index < 0 || index >= Count()) return;
  Ref<IWidget> widget = entries_[size_t(index)].widget;
  if (widget->GetOwner()) widget->UpdateDirty(true, false);
  widget->Detach();
  // The calls above run widget code; find the entry again.
  index = IndexOfWidget(widget.get());
  if (index >= 0) entries_.erase(entries_.begin() + index);
  restart_ = true;
  changed_ = true;
}

bool TWidgetCollection::Remove(const IWidget* widget) {
  int index = IndexOfWidget(widget);
  if (index < 0) return false;
  DeleteAt(index);
  return true;
}

// Widgets added or removed during the walk set the restart mark; the walk then starts over, and
// the advanced flags keep anyone from advancing twice.
void TWidgetCollection::AdvanceAll(int dt) {
  changed_ = false;
  restart_ = false;
  for (;;) {
    for (size_t i = 0; i < entries_.size(); ++i) {
      IWidget* w = entries_[i].widget.get();
      if (w->GetPaused() || w->GetDead() || w->GetAdvanced()) continue;
      Ref<IWidget> keep(w);
      w->AdvanceTime(dt);
    }
    if (!restart_) break;
    restart_ = false;
  }
}

void TWidgetCollection::ReapDead() {
  for (int i = Count() - 1; i >= 0; --i) {
    if (i >= Count()) continue;
    Ref<IWidget> widget = entries_[size_t(i)].widget;
    if (!widget->GetDead()) continue;
    widget->UpdateDirty(true, false);
    widget->Detach();
    int index = IndexOfWidget(widget.get());
    if (index >= 0) entries_.erase(entries_.begin() + index);
    restart_ = true;
    changed_ = true;
  }
}

// A bubble pass: one scan when nothing changed.
void TWidgetCollection::Resort() {
  if (!sorted_) return;
  for (bool moved = true; moved;) {
    moved = false;
    for (size_t i = 1; i < entries_.size(); ++i) {
      if (entries_[i].widget->GetZ() < entries_[i - 1].widget->GetZ()) {
        std::swap(entries_[i], entries_[i - 1]);
        moved = true;
      }
    }
  }
}

void TWidgetCollection::SetPropertyAll(std::string_view name, const TVariant& value) {
  for (size_t i = 0; i < entries_.size(); ++i) {
    Ref<IWidget> keep = entries_[i].widget;
    keep->SetProperty(name, value);
  }
}

// Children that are neither visible nor were visible are skipped; their subtrees still get their
// advanced flags cleared, or they would stand still from the next frame on.
void TWidgetCollection::UpdateDirtyAll(bool forceOld, bool forceNew) {
  for (size_t i = 0; i < entries_.size(); ++i) {
    IWidget* w = entries_[i].widget.get();
    w->SetAdvanced(false);
    if (w->GetVisible() || w->GetWasVisible()) {
      w->UpdateDirty(forceOld, forceNew);
      if (w->GetInvalidated()) changed_ = true;
    } else {
      w->ResetAdvanced();
    }
  }
}

void TWidgetCollection::ResetAdvancedAll() {
  for (const TEntry& e : entries_) e.widget->ResetAdvanced();
}

void TWidgetCollection::SetOwnerAll(IWidgetOwner* owner) {
  for (size_t i = 0; i < entries_.size(); ++i) {
    Ref<IWidget> keep = entries_[i].widget;
    keep->SetOwner(owner);
  }
}

void TWidgetCollection::DetachAll() {
  for (size_t i = 0; i < entries_.size(); ++i) {
    Ref<IWidget> keep = entries_[i].widget;
    keep->Detach();
  }
}

// ---------------------------------------------------------------------------------------------
// TGroupWidget

void TGroupWidget::Initialize() {
  TVisualWidget::Initialize();
  children_ = NewObject<TWidgetCollection>();
  children_->SetCollectionOwner(this);
}

TGroupWidget::~TGroupWidget() {
  if (children_) children_->SetCollectionOwner(nullptr);
}

void TGroupWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TVisualWidget::LoadProperties(storage);
  children_->Clear();
  if (storage->GetChildCount("widgets") > 0) children_->Load(storage->GetChild("widgets", 0));
  factories_.reset();
  if (storage->GetChildCount("widgetfactories") > 0) {
    Ref<TWidgetFactoryCollection> factories = NewObject<TWidgetFactoryCollection>();
    factories->Load(storage->GetChild("widgetfactories", 0));
    factories_ = factories;
  }
}

void TGroupWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TVisualWidget::SaveProperties(storage);
  if (children_->Count() > 0) SaveObjectToChild(children_, storage, "widgets");
  if (factories_) SaveObjectToChild(factories_, storage, "widgetfactories");
}

void TGroupWidget::SetOwner(IWidgetOwner* owner) {
  TVisualWidget::SetOwner(owner);
  children_->SetOwnerAll(this);
}

void TGroupWidget::Detach() {
  Ref<IWidget> keep(this);  // the children may hold the last other references
  TVisualWidget::Detach();
  children_->DetachAll();
}

void TGroupWidget::Refresh() {
  for (int i = children_->Count() - 1; i >= 0; --i)
    if (Ref<IWidget> child = children_->GetByIndex(i)) child->Refresh();
  TVisualWidget::Refresh();
}

void TGroupWidget::ClearReferences() {
  TVisualWidget::ClearReferences();
  children_->Clear();
  factories_.reset();
}

void TGroupWidget::ResetAdvanced() {
  TVisualWidget::ResetAdvanced();
  children_->ResetAdvancedAll();
}

void TGroupWidget::Restart() {
  TVisualWidget::Restart();
  for (int i = children_->Count() - 1; i >= 0; --i)
    if (Ref<IWidget> child = children_->GetByIndex(i)) child->Restart();
}

void TGroupWidget::Resume() {
  TVisualWidget::Resume();
  for (int i = children_->Count() - 1; i >= 0; --i)
    if (Ref<IWidget> child = children_->GetByIndex(i)) child->Resume();
}

void TGroupWidget::Pause() {
  TVisualWidget::Pause();
  for (int i = children_->Count() - 1; i >= 0; --i)
    if (Ref<IWidget> child = children_->GetByIndex(i)) child->Pause();
}

Ref<IWidget> TGroupWidget::GetChild(const TVariant& key) const {
  return children_->Get(key);
}

TRect TGroupWidget::GetBounds() const {
  const TPoint anchor = RoundedAnchors();
  TRect bounds{anchor.x, anchor.y, anchor.x, anchor.y};
  bool any = false;
  for (const auto& entry : children_->Entries()) {
    const IWidget* child = entry.widget.get();
    if (!child->GetVisible()) continue;
    const TRect b = child->GetBounds().Offset(anchor.x, anchor.y);
    bounds = any ? bounds.Union(b) : b;
    any = true;
  }
  return bounds;
}

void TGroupWidget::DoAdvanceTime(int dt) {
  TVisualWidget::DoAdvanceTime(dt);
  AdvanceChildren(dt);
}

void TGroupWidget::AdvanceChildren(int dt) {
  children_->AdvanceAll(dt);
  children_->ReapDead();
  children_->Resort();
}

void TGroupWidget::UpdateDirty(bool forceOld, bool forceNew) {
  const bool visible = GetVisible();
  const bool wasVisible = GetWasVisible();
  const bool childForceNew = visible && (forceNew || !wasVisible || Moved() || GetChanged());
  const bool childForceOld = wasVisible && (forceOld || !visible || Moved());
  children_->UpdateDirtyAll(childForceOld, childForceNew);
  // The bounds of a group recurse through its subtree; the children's pass has just found
  // every visible child's screen rectangle, and the group's is their union.
  TRect rect;
  if (BoundsAreChildrenUnion() && ChildrenPassRect(rect))
    VisualUpdateDirty(forceOld, forceNew, &rect);
  else
    VisualUpdateDirty(forceOld, forceNew);
  if (children_->GetChanged()) SetInvalidated(true);
}

bool TGroupWidget::ChildrenPassRect(TRect& rect) const {
  bool any = false;
  for (const auto& entry : children_->Entries()) {
    const IWidget* child = entry.widget.get();
    if (!child->GetVisible()) continue;
    const TRect r = child->GetDirtyPassRect();
    rect = any ? rect.Union(r) : r;
    any = true;
  }
  return any;
}

Ref<IEngine> TGroupWidget::GetEngine() const {
  return Owner() ? Owner()->GetEngine() : Ref<IEngine>();
}

Ref<IWindow> TGroupWidget::GetWindow() const {
  return Owner() ? Owner()->GetWindow() : Ref<IWindow>();
}

Ref<IEventHandler> TGroupWidget::GetEventHandler() const {
  return Owner() ? Owner()->GetEventHandler() : Ref<IEventHandler>();
}

TPoint TGroupWidget::ScreenToChildLocal(TPoint point) const {
  const TPoint p = ScreenToLocal(point);
  const TPoint anchor = RoundedAnchors();
  return {p.x - anchor.x, p.y - anchor.y};
}

Ref<IWidget> TGroupWidget::CreateWidget(std::string_view factoryName,
                                        const Ref<IParamCollection>& params) {
  if (factories_)
    if (Ref<IWidgetFactory> factory = factories_->Get(TVariant(factoryName)))
      return factory->CreateWidget(params);
  return Owner() ? Owner()->CreateWidget(factoryName, params) : Ref<IWidget>();
}

std::string TGroupWidget::GetPath() const {
  std::string path = Owner() ? Owner()->GetPath() : std::string();
  return path.empty() ? GetName() : path + "/" + GetName();
}

void TGroupWidget::InvalidateRect(const TRect& rect) {
  if (Owner()) Owner()->InvalidateRect(rect);
}

// ---------------------------------------------------------------------------------------------
// TVisualGroupWidget

void TVisualGroupWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TGroupWidget::LoadProperties(storage);
  TKeyReader keys(storage, LogName());
  caching_ = keys.Bool("caching", false);
  returnSelfByPos_ = keys.Bool("returnselfbypos", false);
  cache_.reset();
}

void TVisualGroupWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TGroupWidget::SaveProperties(storage);
  WriteBool(storage, "caching", caching_, caching_);
  WriteBool(storage, "returnselfbypos", returnSelfByPos_, returnSelfByPos_);
}

TVariant TVisualGroupWidget::GetProperty(std::string_view name) const {
  TVariant value = TGroupWidget::GetProperty(name);
  if (name == "caching") value = caching_;
  if (name == "cachesurface") value = TVariant(cache_);
  return value;
}

void TVisualGroupWidget::SetProperty(std::string_view name, const TVariant& value) {
  TGroupWidget::SetProperty(name, value);
  if (name == "caching") SetCaching(VariantToBool(value, caching_));
}

void TVisualGroupWidget::SetCaching(bool caching) {
  caching_ = caching;
  Refresh();
}

void TVisualGroupWidget::Refresh() {
  TGroupWidget::Refresh();
  cache_.reset();
  if (!caching_) return;
  // The picture is rendered from the children, not from the cache it replaces.
  caching_ = false;
  cache_ = GetImage();
  caching_ = true;
}

void TVisualGroupWidget::Draw(ISurface* surface, int x, int y) {
  if (!surface) return;
  if (caching_ && cache_) {
    const int left = x - RoundCoord(GetAnchorLeft() - GetLeft());
    const int top = y - RoundCoord(GetAnchorTop() - GetTop());
    const int w = cache_->GetWidth();
    const int h = cache_->GetHeight();
    surface->DrawSurface(cache_.get(), {0, 0, w, h}, bmNormal, GetTransparentLevel(),
                         RectOfSize(left, top, w, h));
    return;
  }
  DrawChildren(surface, x, y);
}

namespace {

// Whether a draw into that rectangle of the surface can change any pixel: the rectangle meets
// the surface and its clip, or in dirty mode one of the dirty rectangles (the draws run once
// per dirty rectangle then).
bool MayDrawInto(const ISurface& surface, const TRect& rect) {
  if (rect.IsEmpty() || !rect.Overlaps({0, 0, surface.GetWidth(), surface.GetHeight()}))
    return false;
  if (!surface.GetClipEnabled()) return true;
  if (!surface.GetDirtyMode()) return rect.Overlaps(surface.GetClipRect());
  for (const TRect& dirty : surface.GetDirtyRects())
    if (rect.Overlaps(dirty)) return true;
  return false;
}

}  // namespace

// Leaves outside the area being drawn are skipped before they look up their resources; groups
// are entered (their bounds would cost a walk of their subtree) and skip their own leaves.
void TVisualGroupWidget::DrawChildren(ISurface* surface, int x, int y) {
  // By index: drawing runs widget code, which should not but could change the list.
  const auto& entries = Children().Entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    IWidget* child = entries[i].widget.get();
    if (!child->GetVisible()) continue;
    if (!child->GetChildren() && !MayDrawInto(*surface, child->GetBounds().Offset(x, y))) continue;
    child->Draw(surface, x + RoundCoord(child->GetAnchorLeft()),
                y + RoundCoord(child->GetAnchorTop()));
  }
}

Ref<IWidget> TVisualGroupWidget::WidgetAtPos(TPoint point) {
  if (!GetVisible() || !GetMouseStop()) return {};
  const TPoint anchor = RoundedAnchors();
  const TPoint local{point.x - anchor.x, point.y - anchor.y};
  for (int i = Children().Count() - 1; i >= 0; --i) {
    Ref<IWidget> child = Children().GetByIndex(i);
    if (!child) continue;
    if (Ref<IWidget> hit = child->WidgetAtPos(local)) return hit;
  }
  if (returnSelfByPos_ && ContainsPoint(point, false)) return Ref<IWidget>(this);
  return {};
}

bool TVisualGroupWidget::ContainsPoint(TPoint point, bool ignoreVisibility) {
  if (!GetVisible() && !ignoreVisibility) return false;
  const TPoint anchor = RoundedAnchors();
  const TPoint local{point.x - anchor.x, point.y - anchor.y};
  for (int i = Children().Count() - 1; i >= 0; --i) {
    Ref<IWidget> child = Children().GetByIndex(i);
    if (child && child->ContainsPoint(local, ignoreVisibility)) return true;
  }
  return false;
}

}  // namespace lumessa
