// The mouse cursors the game draws itself: each a widget with a hotspot, one current at a time.
//
//   TCursor            node "cursor": "hotspotx", "hotspoty" and the widget in "widget"
//   TCursorCollection  node "cursors", items "cursor", "default_cursor_name"
#pragma once

#include <string>
#include <string_view>

#include "shell/game_api.h"

namespace lumessa {

class TCursor : public TPersistObject, public virtual ICursor {
 public:
  void Initialize() override;

  Ref<IWidget> GetWidget() const override { return widget_; }
  void SetWidget(const Ref<IWidget>& widget) override;
  TPoint GetHotspot() const override { return hotspot_; }
  void SetHotspot(TPoint hotspot) override { hotspot_ = hotspot; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  Ref<IWidget> widget_;
  TPoint hotspot_{};
};

class TCursorCollection : public TStaticCreationPersistItemCollection,
                          public virtual ICursorCollection {
 public:
  void Initialize() override;

  Ref<ICursor> Get(const TVariant& key) const override { return GetAs<ICursor>(key); }
  bool Add(const Ref<ICursor>& cursor) override;
  Ref<ICursor> GetCurrentCursor() const override { return current_; }
  bool SelectCursor(std::string_view name) override;
  std::string GetDefaultCursorName() const override;

  void SetDefaultCursorName(std::string_view name) { defaultName_ = name; }
  // Drops the current cursor and every widget's owner (shut-down).
  void DetachAll();

 protected:
  void LoadItems(const Ref<IHierStorage>& storage) override;
  void SaveItems(const Ref<IHierStorage>& storage) override;
  void AddItem(const Ref<IInterface>& item) override;

 private:
  std::string defaultName_;
  Ref<ICursor> current_;
};

}  // namespace lumessa
