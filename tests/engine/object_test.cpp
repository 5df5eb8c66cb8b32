#include "engine/object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumessa {
namespace {

class IGreeter : public virtual IInterface {
 public:
  virtual std::string Greet() const = 0;
};
class ICounter : public virtual IInterface {
 public:
  virtual int Next() = 0;
};

// Records the construction hooks so the order can be checked.
class TProbe : public TAbstractObject, public virtual IGreeter, public virtual ICounter {
 public:
  static inline int alive = 0;
  TProbe() { ++alive; }
  ~TProbe() override { --alive; }
  void Initialize() override {
    TAbstractObject::Initialize();
    log.push_back("init");
  }
  void SetCreationParam(std::string_view name, std::string_view value) override {
    log.push_back(std::string(name) + "=" + std::string(value));
  }
  std::string Greet() const override { return "hi"; }
  int Next() override { return ++n; }
  std::vector<std::string> log;
  int n = 0;
};

class TPlain : public TAbstractObject {};
class TUnregistered : public TAbstractObject {};

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterObjectClass<TProbe>("test_probe");
    RegisterObjectClass<TPlain>("TestPlain");
  }
  void TearDown() override {
    UnregisterObjectClass("test_probe");
    UnregisterObjectClass("TestPlain");
  }
};

TEST(ObjectTest, LastReferenceDestroysTheObjectAcrossInterfaces) {
  ASSERT_EQ(TProbe::alive, 0);
  Ref<ICounter> counter;
  {
    Ref<IGreeter> greeter = MakeRef<TProbe>();
    EXPECT_EQ(greeter->Greet(), "hi");
    counter = Query<ICounter>(greeter);
    ASSERT_TRUE(counter);
    EXPECT_EQ(counter->Next(), 1);
  }
  EXPECT_EQ(TProbe::alive, 1);  // the counter reference keeps it
  counter.reset();
  EXPECT_EQ(TProbe::alive, 0);
}

TEST(ObjectTest, AbsentInterfaceIsAnEmptyAnswerAndRequireThrows) {
  Ref<TPlain> plain = MakeRef<TPlain>();
  EXPECT_FALSE(Query<IGreeter>(plain));
  EXPECT_FALSE(Query<IGreeter>(static_cast<TPlain*>(nullptr)));
  EXPECT_THROW(Require<IGreeter>(plain), TInterfaceMissing);
  EXPECT_EQ(plain->RefCount(), 1);  // the failed queries took no reference
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndDuplicatesRaise) {
  EXPECT_TRUE(FindObjectClass("TEST_PROBE") == TObjectClass::Of<TProbe>());
  EXPECT_EQ(FindTypeName<TProbe>(), "test_probe");
  EXPECT_EQ(FindTypeName<TUnregistered>(), "");
  EXPECT_THROW(RegisterObjectClass<TPlain>("Test_Probe"), TDuplicateClass);
}

TEST_F(RegistryTest, CreateObjectCallsInitializeThenEachParameterInOrder) {
  Ref<TAbstractObject> obj = CreateObject(TObjectClass::Of<TProbe>(), "a=1\\b = {x=2\\y}\\c");
  auto* probe = dynamic_cast<TProbe*>(obj.get());
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe->log, (std::vector<std::string>{"init", "a=1", "b=x=2\\y"}));
  EXPECT_EQ(obj->RefCount(), 1);
}

TEST_F(RegistryTest, CreateObjectFromSpec) {
  struct Case {
    const char* typeSpec;
    bool created;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"test_probe", true, {"init"}},
      {"Test_Probe{}", true, {"init"}},
      {"test_probe{name=main\\max=10}", true, {"init", "name=main", "max=10"}},
      {"test_probe{table={name=main\\columns={param=Score}}}",
       true,
       {"init", "table=name=main\\columns={param=Score}"}},
      {"no_such_type{a=1}", false, {}},
      {"", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typeSpec);
    Ref<TAbstractObject> obj = CreateObjectFromSpec(c.typeSpec);
    ASSERT_EQ(bool(obj), c.created);
    if (auto* probe = dynamic_cast<TProbe*>(obj.get())) {
      EXPECT_EQ(probe->log, c.log);
    }
  }
  EXPECT_TRUE(dynamic_cast<TPlain*>(CreateObjectFromSpec("testplain").get()));
}

TEST(ParamListTest, SplitParamList) {
  struct Case {
    const char* text;
    std::vector<std::string> items;
  };
  const Case cases[] = {
      {"a\\b={c\\d}\\e", {"a", "b={c\\d}", "e"}},
      {"\\table={name=main\\max=10\\columns={param=Score\\param=Player}}",
       {"table={name=main\\max=10\\columns={param=Score\\param=Player}}"}},
      {"  a\\\\b \t\n", {"a", "b"}},  // ends trimmed, empty items dropped
      {"", {}},
      {"\\\\", {}},
      {"a={b\\c", {"a={b", "c"}},  // an unclosed brace splits plainly
      {"x\\c={d\\e}", {"x", "c={d\\e}"}},
      {"a={b}{c\\d}\\e", {"a={b}{c", "d}", "e"}},  // only the first group is skipped per item
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(SplitParamList(c.text, '\\'), c.items);
  }
  EXPECT_EQ(SplitParamList("a;b;{c;d};e", ';'), (std::vector<std::string>{"a", "b", "{c;d}", "e"}));
}

TEST(ParamListTest, ParseFindAndEmpty) {
  auto pairs = ParseParamPairs("a\\b={c\\d}\\e");
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0], (std::pair<std::string, std::string>{"b", "c\\d"}));

  pairs = ParseParamPairs("name  =  x = y\\v={a}{b}");
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].first, "name");
  EXPECT_EQ(pairs[0].second, "x = y");   // split at the first "="
  EXPECT_EQ(pairs[1].second, "{a}{b}");  // not one group: braces kept

  std::string v;
  EXPECT_TRUE(FindParamValue("File=a.xml\\cryptkey=k", "FILE", '\\', '=', v));
  EXPECT_EQ(v, "a.xml");
  EXPECT_FALSE(FindParamValue("file=a.xml", "key", '\\', '=', v));

  std::string empty = " \\\\ ", full = "a";
  EXPECT_TRUE(ParamListIsEmpty(empty));
  EXPECT_EQ(empty, "");
  EXPECT_FALSE(ParamListIsEmpty(full));
  EXPECT_EQ(full, "a");
}

}  // namespace
}  // namespace lumessa
