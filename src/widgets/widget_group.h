// Groups and their child collections.
//
//   TSimpleWidgetCollection  an ordered, stored list of widgets ("widgets" / "widget")
//   TWidgetCollection        a group's children: attaches them, keeps them in z order, runs the
//                            advance, reap, resort and dirty passes over them
//   TGroupWidget             a visual widget that owns children and widget factories
//   TVisualGroupWidget       draws its children (or its cached picture) and hit-tests them
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "widgets/abstract_widget.h"

namespace lumessa {

class TSimpleWidgetCollection : public TTypedCreationPersistItemCollection,
                                public virtual ISimpleWidgetCollection {
 public:
  // Node "widgets", items "widget", each created by its "type".
  void Initialize() override;

  // ICollection
  int Count() const override { return int(entries_.size()); }
  void Delete(const TVariant& key) override;
  int IndexOf(std::string_view name) const override;
  bool Contains(std::string_view name) const override { return IndexOf(name) >= 0; }
  // Deletes from the last widget to the first.
  void Clear() override;

  // ISimpleWidgetCollection
  bool Add(const Ref<IWidget>& widget) override;
  bool AddNamed(const Ref<IWidget>& widget, std::string_view name) override;
  Ref<IWidget> Get(const TVariant& key) const override;
  Ref<IWidget> GetByIndex(int index) const override;
  Ref<IWidget> GetByName(std::string_view name) const override;
  int IndexOfWidget(const IWidget* widget) const override;

  // Loading stops below this depth of nested widget elements, so a hostile file cannot exhaust
  // the stack.
  static constexpr int kMaxLoadDepth = 200;

 protected:
  struct TEntry {
    Ref<IWidget> widget;
    uint32_t key = 0;  // NameKey of the name it was added under
  };

  // Removes entry index; the widget's own bookkeeping is done by the caller.
  virtual void DeleteAt(int index);
  // Inserts without further ado (TWidgetCollection attaches and sorts first).
  virtual bool Insert(const Ref<IWidget>& widget, uint32_t key);

  void LoadItems(const Ref<IHierStorage>& storage) override;
  Ref<IInterface> CreateItem(const Ref<IHierStorage>& node) override;
  void AddItem(const Ref<IInterface>& item) override;
  void SaveItems(const Ref<IHierStorage>& storage) override;

  std::vector<TEntry> entries_;
};

class TWidgetCollection : public TSimpleWidgetCollection, public virtual IWidgetCollection {
 public:
  // The owner children are attached to. Not a counted reference: the owner (a group) owns the
  // collection and clears this when it goes.
  void SetCollectionOwner(IWidgetOwner* owner) { owner_ = owner; }
  IWidgetOwner* CollectionOwner() const { return owner_; }

  // IWidgetCollection
  bool IsSorted() const override { return sorted_; }
  void SetSorted(bool sorted) override { sorted_ = sorted; }
  void Resort() override;
  void AdvanceAll(int dt) override;
  void ReapDead() override;
  void SetPropertyAll(std::string_view name, const TVariant& value) override;
  void UpdateDirtyAll(bool forceOld, bool forceNew) override;
  void SetOwnerAll(IWidgetOwner* owner) override;
  void DetachAll() override;
  bool GetChanged() const override { return changed_; }
  bool Remove(const IWidget* widget) override;

  // Clears the advanced flags of every child's subtree.
  void ResetAdvancedAll();
  // The children in order, for loops that must not allocate.
  const std::vector<TEntry>& Entries() const { return entries_; }

 protected:
  // Redraws the child's area, detaches it, then removes it.
  void DeleteAt(int index) override;
  // Takes the widget from its old owner, attaches it, marks its area and inserts it after the
  // last child whose z is not greater (sorted), or at the end.
  bool Insert(const Ref<IWidget>& widget, uint32_t key) override;

 private:
  IWidgetOwner* owner_ = nullptr;
  bool sorted_ = true;
  bool changed_ = false;
  bool restart_ = false;  // a child was added or removed during the advance walk
};

class TGroupWidget : public TVisualWidget, public virtual IWidgetOwner {
 public:
  // An empty sorted children collection attached to this group.
  void Initialize() override;
  ~TGroupWidget() override;

  // IWidget
  void SetOwner(IWidgetOwner* owner) override;
  void Detach() override;
  void Refresh() override;
  void ClearReferences() override;
  void ResetAdvanced() override;
  void Restart() override;
  void Resume() override;
  void Pause() override;
  Ref<IWidgetCollection> GetChildren() const override { return children_; }
  Ref<IWidget> GetChild(const TVariant& key) const override;
  Ref<IWidget> FindWidget(std::string_view path) const override {
    return TVisualWidget::FindWidget(path);
  }
  // The union of the visible children's bounds, moved by the rounded anchors; the empty
  // rectangle at the anchor point without a visible child.
  TRect GetBounds() const override;
  double GetLeft() const override { return GetBounds().left; }
  double GetTop() const override { return GetBounds().top; }
  int GetWidth() const override { return GetBounds().Width(); }
  int GetHeight() const override { return GetBounds().Height(); }
  // The children's pass first, forced where the group appeared, disappeared, moved or changed.
  void UpdateDirty(bool forceOld, bool forceNew) override;
  // The union of the screen rectangles the children's pass found for the visible children;
  // false when none is visible.
  bool ChildrenPassRect(TRect& rect) const;

  // IWidgetOwner (forwarded to the group's own owner where the group has nothing to add)
  Ref<IEngine> GetEngine() const override;
  Ref<IWindow> GetWindow() const override;
  Ref<IEventHandler> GetEventHandler() const override;
  TPoint ScreenToChildLocal(TPoint point) const override;
  // The group's own factories first, then the owners'.
  Ref<IWidget> CreateWidget(std::string_view factoryName,
                            const Ref<IParamCollection>& params) override;
  std::string GetPath() const override;
  void InvalidateRect(const TRect& rect) override;

  // Adds a child (attached to this group); false for an empty widget.
  bool AddChild(const Ref<IWidget>& child) { return children_->Add(child); }
  TWidgetCollection& Children() const { return *children_; }
  const Ref<IWidgetFactoryCollection>& GetFactories() const { return factories_; }
  void SetFactories(const Ref<IWidgetFactoryCollection>& factories) { factories_ = factories; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  // The group's own step, then its children.
  void DoAdvanceTime(int dt) override;
  // Advance, reap, resort.
  virtual void AdvanceChildren(int dt);
  // Whether the group's own dirty pass may take its screen rectangle from its children's pass
  // (which just computed every visible child's) instead of computing its bounds again. A
  // subclass whose GetBounds is not the union of its children answers false.
  virtual bool BoundsAreChildrenUnion() const { return true; }

 private:
  Ref<TWidgetCollection> children_;
  Ref<IWidgetFactoryCollection> factories_;
};

class TVisualGroupWidget : public TGroupWidget {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;

  // Refreshes the children, then renews the cached picture when caching is on.
  void Refresh() override;
  // The visible children in z order at their rounded anchors, or the cached picture.
  void Draw(ISurface* surface, int x, int y) override;
  // Only when visible with mouse stop: the children from the top down, then the group itself
  // where a child covers the point when return-self-by-position is set.
  Ref<IWidget> WidgetAtPos(TPoint point) override;
  // Some child covers the point.
  bool ContainsPoint(TPoint point, bool ignoreVisibility) override;

  bool GetCaching() const { return caching_; }
  // Setting it refreshes the group.
  void SetCaching(bool caching);
  const Ref<ISurface>& GetCacheSurface() const { return cache_; }
  bool GetReturnSelfByPos() const { return returnSelfByPos_; }
  void SetReturnSelfByPos(bool value) { returnSelfByPos_ = value; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  // The children, without the cache.
  void DrawChildren(ISurface* surface, int x, int y);

 private:
  bool caching_ = false;
  Ref<ISurface> cache_;
  bool returnSelfByPos_ = false;
};

}  // namespace lumessa
