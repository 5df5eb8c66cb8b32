#include "persistence/param_collection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace lumessa {
namespace {

using test::Xml;

std::vector<std::pair<std::string, std::string>> Pairs(const Ref<IParamCollection>& params) {
  std::vector<std::pair<std::string, std::string>> out;
  for (int i = 0; i < params->Count(); ++i) {
    Ref<IParam> p = params->Get(TVariant(i));
    out.emplace_back(p->GetName(), p->GetValue().ToString());
  }
  return out;
}

TEST(ParamCollectionTest, LoadingKeepsOneParameterPerNameAndTextValues) {
  Ref<TParamCollection> params = NewObject<TParamCollection>();
  params->Load(
      Xml("<params>"
          "<param name='Speed' value='10'/>"
          "<param name='color' value='red'/>"
          "<param name='SPEED' value='20'/>"
          "<param name='novalue'/>"
          "<other name='x' value='y'/>"
          "</params>"));
  using P = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(Pairs(params), (P{{"Speed", "20"}, {"color", "red"}, {"novalue", ""}}));
  TVariant speed = params->GetValue("speed");
  EXPECT_TRUE(speed.IsString());  // converting is the caller's task
  EXPECT_EQ(speed.ToString(), "20");
  EXPECT_EQ(params->GetValue("absent", 5).ToInt(), 5);
  EXPECT_TRUE(params->GetValue("absent").IsUnassigned());
}

TEST(ParamCollectionTest, SavingWritesDecimalText) {
  Ref<TParamCollection> params = NewObject<TParamCollection>();
  params->SetValue("count", 10);
  params->SetValue("ratio", 2.5);
  params->SetValue("flag", true);
  params->SetValue("name", "Mirel");
  params->SetValue("COUNT", 11);  // the same parameter
  Ref<IHierStorage> out = Xml("<params/>");
  params->Save(out);
  EXPECT_EQ(out->GetXml(),
            "<params><param name=\"count\" value=\"11\"/><param name=\"ratio\" value=\"2.5\"/>"
            "<param name=\"flag\" value=\"yes\"/><param name=\"name\" value=\"Mirel\"/>"
            "</params>");

  // An unstored parameter leaves no element; the rest round-trips.
  Query<IPersistObject>(params->Get(TVariant("flag")))->SetStored(false);
  Ref<IHierStorage> again = Xml("<params/>");
  params->Save(again);
  Ref<TParamCollection> back = NewObject<TParamCollection>();
  back->Load(again);
  using P = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(Pairs(back), (P{{"count", "11"}, {"ratio", "2.5"}, {"name", "Mirel"}}));
}

TEST(ParamCollectionTest, AddRejectsASecondParameterOfTheSameName) {
  Ref<TParamCollection> params = NewObject<TParamCollection>();
  Ref<TParam> a = NewObject<TParam>();
  a->SetName("x");
  Ref<TParam> b = NewObject<TParam>();
  b->SetName("X");
  EXPECT_TRUE(params->Add(a));
  EXPECT_FALSE(params->Add(b));
  EXPECT_FALSE(params->Add(nullptr));
  EXPECT_EQ(params->Count(), 1);
  params->Delete(TVariant("x"));
  EXPECT_EQ(params->Count(), 0);
}

TEST(ParamCollectionTest, CreationParametersBecomeParameters) {
  Ref<TAbstractObject> obj =
      CreateObject(TObjectClass::Of<TParamCollection>(), "level=3\\path={a\\b}\\name = spaced");
  Ref<IParamCollection> params = Query<IParamCollection>(obj);
  ASSERT_TRUE(params);
  using P = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(Pairs(params), (P{{"level", "3"}, {"path", "a\\b"}, {"name", "spaced"}}));
}

TEST(ParamCollectionTest, CloneCopiesNamesAndValuesInOrder) {
  Ref<TParamCollection> source = NewObject<TParamCollection>();
  source->SetValue("b", 1);
  source->SetValue("a", "two");
  Ref<IParamCollection> copy = CloneParams(source);
  source->SetValue("b", 99);
  using P = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(Pairs(copy), (P{{"b", "1"}, {"a", "two"}}));
  EXPECT_EQ(CloneParams(nullptr)->Count(), 0);
}

class TTestDefinition : public TParamsPropertyObject {
 public:
  void SetProperty(std::string_view name, const TVariant& value) override {
    if (name == "level")
      level = int(value.ToInt());
    else
      TParamsPropertyObject::SetProperty(name, value);
  }
  TVariant GetProperty(std::string_view name) const override {
    if (name == "level") return level;
    return TParamsPropertyObject::GetProperty(name);
  }
  int level = 0;
};

TEST(ParamsPropertyObjectTest, UnknownPropertiesAreFreeParameters) {
  Ref<TTestDefinition> def = NewObject<TTestDefinition>();
  def->Load(
      Xml("<client name='vip'><properties>"
          "<param name='patience' value='30'/><param name='level' value='param'/>"
          "</properties><properties><param name='ignored' value='1'/></properties>"
          "</client>"));
  EXPECT_EQ(def->GetName(), "vip");
  EXPECT_EQ(def->GetProperty("Patience").ToString(), "30");  // any case
  EXPECT_EQ(def->GetProperty("level").ToInt(), 0);           // the subclass answers first
  EXPECT_TRUE(def->GetProperty("ignored").IsNull());         // only the first "properties"
  EXPECT_TRUE(def->GetProperty("absent").IsNull());
  EXPECT_EQ(def->GetPropertyDef("absent", 7).ToInt(), 7);

  def->SetProperty("speed", 1.5);
  def->SetProperty("level", 4);
  Ref<IHierStorage> out = Xml("<client/>");
  def->Save(out);
  EXPECT_EQ(out->GetXml(),
            "<client name=\"vip\"><properties><param name=\"patience\" value=\"30\"/>"
            "<param name=\"level\" value=\"param\"/><param name=\"speed\" value=\"1.5\"/>"
            "</properties></client>");

  def->GetParams()->Clear();
  Query<IPersistObject>(def->GetParams())->SetStored(false);
  Ref<IHierStorage> none = Xml("<client/>");
  def->Save(none);
  EXPECT_EQ(none->GetChildCount(""), 0);
}

}  // namespace
}  // namespace lumessa
