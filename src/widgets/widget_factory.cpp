#include "widgets/widget_factory.h"

#include <exception>

#include "engine/log.h"

namespace lumessa {

// ---------------------------------------------------------------------------------------------
// TWidgetFactory

void TWidgetFactory::Initialize() {
  TPersistObject::Initialize();
  SetNodeName("widgetfactory");
  useMacros_ = true;
}

void TWidgetFactory::LoadProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::LoadProperties(storage);
  SetWidgetString(storage->ReadChildInner("widgetstring").ToString());
  useMacros_ = ReadBool(storage, "usemacros", true);
  redefinedParams_ = ReadString(storage, "redefinedparams");
}

void TWidgetFactory::SaveProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::SaveProperties(storage);
  WriteBool(storage, "usemacros", !useMacros_, useMacros_);
  WriteString(storage, "redefinedparams", !redefinedParams_.empty(), redefinedParams_);
  if (!widgetString_.empty()) storage->WriteChildInner("widgetstring", widgetString_);
}

void TWidgetFactory::SetWidgetString(std::string_view text) {
  widgetString_ = text;
  template_.reset();
}

std::string TWidgetFactory::ExpandMacros(const Ref<IParamCollection>& params) const {
  std::string text = widgetString_;
  if (!params) return text;
  for (int i = 0; i < params->Count(); ++i) {
    Ref<IParam> param = params->Get(TVariant(i));
    if (!param || param->GetName().empty()) continue;
    const std::string placeholder = "%" + param->GetName() + "%";
    const std::string value = param->GetValue().ToString();
    // Past each replacement, so a value that holds a placeholder is not expanded again.
    for (size_t pos = text.find(placeholder); pos != std::string::npos;
         pos = text.find(placeholder, pos + value.size()))
      text.replace(pos, placeholder.size(), value);
  }
  return text;
}

Ref<IWidget> TWidgetFactory::Build(const Ref<IHierStorage>& root) const {
  Ref<IWidget> widget = Query<IWidget>(CreateFromNode(root));
  if (!widget)
    Log("widget factory '%s': \"%s\" is not a widget kind", Name().c_str(),
        ReadString(root, "type").c_str());
  return widget;
}

Ref<IWidget> TWidgetFactory::CreateWidget(const Ref<IParamCollection>& params) {
  try {
    Ref<IHierStorage> root;
    if (useMacros_) {
      root = LoadStorageFromText(ExpandMacros(params));
    } else {
      if (!template_) template_ = LoadStorageFromText(widgetString_);
      root = template_;
    }
    if (!root) {
      Log("widget factory '%s': its widget text does not parse", Name().c_str());
      return {};
    }
    Ref<IWidget> widget = Build(root);
    if (!widget) return {};
    // The entry's value names both the parameter and the property it goes to.
    if (!useMacros_ && params && !redefinedParams_.empty()) {
      for (const auto& entry : ParseParamPairs(redefinedParams_)) {
        const std::string& name = entry.second;
        if (params->Contains(name)) widget->SetProperty(name, params->GetValue(name));
      }
    }
    if (Ref<IPersistObject> persist = Query<IPersistObject>(widget)) persist->SetStored(false);
    return widget;
  } catch (const std::exception& e) {
    Log("widget factory '%s': %s", Name().c_str(), e.what());
    return {};
  }
}

// ---------------------------------------------------------------------------------------------
// TWidgetFactoryCollection

void TWidgetFactoryCollection::Initialize() {
  TTypedCreationPersistItemCollection::Initialize();
  SetNodeName("widgetfactories");
  SetItemNodeName("widgetfactory");
}

bool TWidgetFactoryCollection::Add(const Ref<IWidgetFactory>& factory) {
  return factory && items_.Add(Ref<IInterface>(factory.get()), false, -1, factory->GetName());
}

Ref<IInterface> TWidgetFactoryCollection::CreateItem(const Ref<IHierStorage>& node) {
  std::string type = ReadString(node, "type");
  if (type.empty()) {
    Ref<TWidgetFactory> factory = NewObject<TWidgetFactory>();
    return Ref<IInterface>(factory.get());
  }
  Ref<IInterface> item = TTypedCreationPersistItemCollection::CreateItem(node);
  if (!item)
    Log("widget factory '%s': unknown type \"%s\", skipped", ReadString(node, "name").c_str(),
        type.c_str());
  return item;
}

void TWidgetFactoryCollection::AddItem(const Ref<IInterface>& item) {
  Ref<IWidgetFactory> factory = Query<IWidgetFactory>(item);
  if (!factory) return;
  if (!Add(factory))
    Log("widget factory '%s' is declared twice; the first one is kept", factory->GetName().c_str());
}

}  // namespace lumessa
