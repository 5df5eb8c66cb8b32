// Widget factories: macro expansion, the template parsed once when macros are off, the redefined
// parameters, the lookup up through the owners, and widgets that are not saved with the tree.
#include <gtest/gtest.h>

#include "persistence/param_collection.h"
#include "widget_test_util.h"
#include "widgets/widget_factory.h"

namespace lumessa {
namespace {

using test::ScreenFixture;

Ref<IParamCollection> Params(std::initializer_list<std::pair<const char*, TVariant>> values) {
  Ref<IParamCollection> params = NewObject<TParamCollection>();
  for (const auto& [name, value] : values) params->SetValue(name, value);
  return params;
}

class WidgetFactories : public ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    root = Attach(R"(
      <widget type="group_widget" name="root" visible="yes">
        <widgetfactories>
          <widgetfactory type="WidgetFactory" name="coin">
            <widgetstring>
              <widget type="rect_widget" name="coin%X%" width="%X%" height="%Y%" z="%x%"/>
            </widgetstring>
          </widgetfactory>
          <widgetfactory name="fixed" usemacros="no" redefinedparams="\ignored=anchor_left\z=z">
            <widgetstring>
              <widget type="group_widget" name="label%X%"><widgets>
                <widget type="rect_widget" name="inner"/></widgets></widget>
            </widgetstring>
          </widgetfactory>
          <widgetfactory name="broken"><widgetstring>not xml at all</widgetstring></widgetfactory>
          <widgetfactory name="alien">
            <widgetstring><widget type="no_such_kind"/></widgetstring>
          </widgetfactory>
        </widgetfactories>
        <widgets>
          <widget type="group_widget" name="inner" visible="yes"/>
        </widgets>
      </widget>)");
  }
  Ref<IWidget> root;
};

TEST_F(WidgetFactories, MacrosReplaceEveryPlaceholderOfAParameterByExactName) {
  Ref<IWidgetOwner> inner = Query<IWidgetOwner>(root->FindWidget("inner"));
  Ref<IWidget> coin = inner->CreateWidget("coin", Params({{"X", 5}, {"Y", "7"}}));
  ASSERT_TRUE(coin);
  EXPECT_EQ(coin->GetName(), "coin5");
  EXPECT_EQ(coin->GetWidth(), 5) << "both occurrences of %X% are replaced";
  EXPECT_EQ(coin->GetHeight(), 7);
  EXPECT_EQ(coin->GetZ(), 0) << "%x% is another name; it stays and does not convert";
  EXPECT_FALSE(coin->GetOwner()) << "the caller adds the widget where it wants it";
}

TEST_F(WidgetFactories, ExpandMacrosLeavesUnknownPlaceholdersAndDoesNotReexpandValues) {
  Ref<TWidgetFactory> f = NewObject<TWidgetFactory>();
  f->SetWidgetString("%A%-%B%-%C%");
  EXPECT_EQ(f->ExpandMacros(Params({{"A", "%B%"}, {"B", "b"}})), "b-b-%C%")
      << "parameters apply in collection order, each on the text the earlier ones left";
  EXPECT_EQ(f->ExpandMacros(nullptr), "%A%-%B%-%C%");
  f->SetWidgetString("%A%%A%");
  EXPECT_EQ(f->ExpandMacros(Params({{"A", "%A%"}})), "%A%%A%") << "a value is not expanded again";
}

TEST_F(WidgetFactories, RequestsGoUpThroughTheOwnersAndUnknownNamesGiveNothing) {
  Ref<IWidgetOwner> inner = Query<IWidgetOwner>(root->FindWidget("inner"));
  EXPECT_TRUE(inner->CreateWidget("COIN", Params({{"X", 1}, {"Y", 1}})))
      << "found on the outer group, ignoring case";
  EXPECT_FALSE(inner->CreateWidget("nothing", nullptr));
  EXPECT_FALSE(inner->CreateWidget("broken", nullptr));
  EXPECT_FALSE(inner->CreateWidget("alien", nullptr));
}

TEST_F(WidgetFactories, WithoutMacrosTheTemplateIsReusedAndRedefinedParamsNameTheProperty) {
  Ref<IWidgetOwner> owner = Query<IWidgetOwner>(root);
  Ref<IWidget> a = owner->CreateWidget("fixed", Params({{"X", 1}, {"anchor_left", 12}}));
  Ref<IWidget> b = owner->CreateWidget("fixed", Params({{"z", 3}}));
  ASSERT_TRUE(a && b);
  EXPECT_NE(a, b);
  EXPECT_EQ(a->GetName(), "label%X%") << "placeholders stay as they are";
  EXPECT_EQ(a->GetAnchorLeft(), 12) << "the entry's value names parameter and property";
  EXPECT_EQ(b->GetAnchorLeft(), 0);
  EXPECT_EQ(b->GetZ(), 3);
  EXPECT_TRUE(a->FindWidget("inner")) << "the whole subtree is built";
  EXPECT_NE(a->FindWidget("inner"), b->FindWidget("inner"));
  ReleaseWidget(a);
  ReleaseWidget(b);
}

TEST_F(WidgetFactories, CreatedWidgetsAreNotSavedWithTheTreeTheyJoin) {
  Ref<IWidget> made = Query<IWidgetOwner>(root)->CreateWidget("coin", Params({{"X", 2}}));
  ASSERT_TRUE(made);
  EXPECT_FALSE(Query<IPersistObject>(made)->IsStored());
  root->GetChildren()->Add(made);

  Ref<IHierStorage> saved = Query<IHierStorage>(CreateStorage("widget"));
  Query<IStorable>(root)->Save(saved);
  Ref<IWidget> again = Query<IWidget>(CreateFromNode(saved));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->GetChildren()->Count(), 1) << "only the stored child";
  Ref<IWidget> fromSaved = Query<IWidgetOwner>(again)->CreateWidget("coin", Params({{"X", 4}}));
  ASSERT_TRUE(fromSaved) << "the factories are saved with the group";
  EXPECT_EQ(fromSaved->GetWidth(), 4);
  again->Detach();
}

}  // namespace
}  // namespace lumessa
