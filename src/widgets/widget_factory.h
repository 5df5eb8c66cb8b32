// Widget factories: named widget XML kept in a group, filled with parameters and built into a
// new widget tree on request (IWidgetOwner::CreateWidget looks them up through the owners).
//
//   TWidgetFactory            "WidgetFactory", element "widgetfactory"
//   TWidgetFactoryCollection  element "widgetfactories", items created by their "type"
#pragma once

#include <string>
#include <string_view>

#include "widgets/widget.h"

namespace lumessa {

class TWidgetFactory : public TPersistObject, public virtual IWidgetFactory {
 public:
  void Initialize() override;

  // IWidgetFactory
  std::string GetWidgetString() const override { return widgetString_; }
  // Also forgets the parsed template.
  void SetWidgetString(std::string_view text) override;
  // Every "%name%" of a parameter (in collection order, names exact) becomes its value as text;
  // other placeholders stay.
  std::string ExpandMacros(const Ref<IParamCollection>& params) const override;
  // With macros on the expanded text is parsed anew each time; with macros off the text is
  // parsed once and "redefinedparams" copies parameters into the new widget's properties. The
  // widget is not stored with the tree it joins. None when anything fails.
  Ref<IWidget> CreateWidget(const Ref<IParamCollection>& params) override;

  bool GetUseMacros() const { return useMacros_; }
  void SetUseMacros(bool useMacros) { useMacros_ = useMacros; }
  void SetRedefinedParams(std::string_view pairs) { redefinedParams_ = pairs; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  Ref<IWidget> Build(const Ref<IHierStorage>& root) const;

  std::string widgetString_;
  bool useMacros_ = true;
  std::string redefinedParams_;
  Ref<IHierStorage> template_;  // parsed once when macros are off
};

class TWidgetFactoryCollection : public TTypedCreationPersistItemCollection,
                                 public virtual IWidgetFactoryCollection {
 public:
  void Initialize() override;

  Ref<IWidgetFactory> Get(const TVariant& key) const override { return GetAs<IWidgetFactory>(key); }
  bool Add(const Ref<IWidgetFactory>& factory) override;

 protected:
  // An item without "type" is a plain "WidgetFactory".
  Ref<IInterface> CreateItem(const Ref<IHierStorage>& node) override;
  void AddItem(const Ref<IInterface>& item) override;
};

}  // namespace lumessa
