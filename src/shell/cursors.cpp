#include "shell/cursors.h"

#include "persistence/xml_storage.h"

namespace lumessa {

// ---------------------------------------------------------------------------------------------
// TCursor

void TCursor::Initialize() {
  TPersistObject::Initialize();
  SetNodeName("cursor");
}

void TCursor::SetWidget(const Ref<IWidget>& widget) {
  widget_ = widget;
  if (widget_) widget_->SetVisible(false);
}

void TCursor::LoadProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::LoadProperties(storage);
  hotspot_ = {ReadInt(storage, "hotspotx", 0), ReadInt(storage, "hotspoty", 0)};
  SetWidget(Query<IWidget>(CreateFromChild(storage, "widget", 0)));
}

void TCursor::SaveProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::SaveProperties(storage);
  bool hasHotspot = hotspot_.x != 0 || hotspot_.y != 0;
  WriteInt(storage, "hotspotx", hasHotspot, hotspot_.x);
  WriteInt(storage, "hotspoty", hasHotspot, hotspot_.y);
  if (widget_) SaveObjectToChild(widget_, storage, "widget");
}

// ---------------------------------------------------------------------------------------------
// TCursorCollection

void TCursorCollection::Initialize() {
  TStaticCreationPersistItemCollection::Initialize();
  SetNodeName("cursors");
  SetItemNodeName("cursor");
  SetItemClass(TObjectClass::Of<TCursor>());
}

bool TCursorCollection::Add(const Ref<ICursor>& cursor) {
  if (!cursor) return false;
  std::string name = cursor->GetName();
  return items_.Add(Ref<IInterface>(cursor), name.empty(), -1, name) != nullptr;
}

void TCursorCollection::AddItem(const Ref<IInterface>& item) {
  if (Ref<ICursor> cursor = Query<ICursor>(item)) Add(cursor);
}

void TCursorCollection::LoadItems(const Ref<IHierStorage>& storage) {
  defaultName_ = ReadString(storage, "default_cursor_name");
  TStaticCreationPersistItemCollection::LoadItems(storage);
}

void TCursorCollection::SaveItems(const Ref<IHierStorage>& storage) {
  WriteString(storage, "default_cursor_name", !defaultName_.empty(), defaultName_);
  TStaticCreationPersistItemCollection::SaveItems(storage);
}

bool TCursorCollection::SelectCursor(std::string_view name) {
  Ref<ICursor> next = Get(name);
  if (!next) return false;
  if (current_) {
    if (Ref<IWidget> w = current_->GetWidget()) {
      w->SetVisible(false);
      // The area it covered is redrawn.
      w->UpdateDirty(false, false);
    }
  }
  current_ = next;
  if (Ref<IWidget> w = current_->GetWidget()) w->SetVisible(true);
  return true;
}

std::string TCursorCollection::GetDefaultCursorName() const {
  if (!defaultName_.empty() && Get(defaultName_)) return defaultName_;
  if (Ref<ICursor> first = Get(0)) return first->GetName();
  return {};
}

void TCursorCollection::DetachAll() {
  current_.reset();
  for (const auto& entry : items_)
    if (Ref<ICursor> cursor = Query<ICursor>(entry.item)) {
      Ref<IWidget> w = cursor->GetWidget();
      ReleaseWidget(w);
      cursor->SetWidget({});
    }
}

}  // namespace lumessa
