// The widget tree: time, life, the advance/reap/resort passes, z order, paths, the property
// protocol, geometry, the dirty pass, drawing, hit testing, sounds, the driver function and the
// breaking of owner cycles.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>

#include "persistence/param_collection.h"
#include "widget_test_util.h"
#include "widgets/decorate_widget.h"
#include "widgets/surface_widgets.h"

namespace lumessa {
namespace {

using test::FilledSurface;
using test::LoadAs;
using test::LoadWidget;
using test::Picture;
using test::ScreenFixture;

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kBlue = 0xFF0000FF;
constexpr uint32_t kGreen = 0xFF00FF00;
const std::map<uint32_t, char> kLegend = {{kRed, 'R'}, {kBlue, 'B'}, {kGreen, 'G'}};

std::vector<std::string> Names(const IWidgetCollection& children) {
  std::vector<std::string> names;
  for (int i = 0; i < children.Count(); ++i) names.push_back(children.GetByIndex(i)->GetName());
  return names;
}

// ---------------------------------------------------------------------------------------------
// Time

TEST(WidgetTime, TimeRateScalesEveryStepRoundingHalvesToEven) {
  struct TCase {
    double rate;
    int dt;
    int64_t advanced;
  };
  const TCase cases[] = {
      {1.5, 5, 8},  // 7.5 -> 8
      {1.5, 3, 4},  // 4.5 -> 4
      {0.5, 3, 2},  // 1.5 -> 2
      {0.5, 1, 0},  // 0.5 -> 0
      {2.5, 1, 2},  // 2.5 -> 2
      {1.0, 7, 7}, {0.0, 40, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "rate " << c.rate << ", dt " << c.dt);
    Ref<IWidget> w = LoadWidget(R"(<widget type="rect_widget" currenttime="100"/>)");
    w->SetProperty("time_rate", c.rate);
    w->AdvanceTime(c.dt);
    EXPECT_EQ(w->GetProperty("currenttime").ToInt(), 100 + c.advanced);
  }
}

TEST_F(ScreenFixture, TimeToLiveCountsScaledTimeAndRedrawsTheAreaWhenReaped) {
  Ref<IWidget> root = Attach(R"(
    <widget type="group_widget" visible="yes">
      <widgets>
        <widget type="rect_widget" name="spark" visible="yes" anchor_left="5" anchor_top="5"
                width="10" height="10" timetolive="1000" time_rate="0.5"/>
      </widgets>
    </widget>)");
  for (int ms = 10; ms < 2000; ms += 10) screen->Frame(10);
  ASSERT_EQ(root->GetChildren()->Count(), 1) << "alive after 1990 ms at half rate";
  screen->TakeInvalidated();

  screen->Frame(10);
  EXPECT_EQ(root->GetChildren()->Count(), 0);
  std::vector<TRect> redrawn = screen->TakeInvalidated();
  EXPECT_NE(std::find(redrawn.begin(), redrawn.end(), TRect{5, 5, 15, 15}), redrawn.end())
      << "the area the widget covered is redrawn when it is removed";
}

TEST(WidgetTime, RestartStartsFromZeroNotFromTheLoadedTime) {
  Ref<IWidget> w = LoadWidget(R"(<widget type="rect_widget" currenttime="500" paused="yes"/>)");
  EXPECT_EQ(w->GetProperty("currenttime").ToInt(), 500);
  w->Restart();
  EXPECT_EQ(w->GetProperty("currenttime").ToInt(), 0);
  EXPECT_FALSE(w->GetPaused());
}

TEST(WidgetTime, PausedChildrenAreNotAdvanced) {
  Ref<IWidget> root = LoadWidget(R"(
    <widget type="group_widget">
      <widgets>
        <widget type="rect_widget" name="running"/>
        <widget type="rect_widget" name="paused" paused="yes"/>
      </widgets>
    </widget>)");
  root->AdvanceTime(10);
  EXPECT_EQ(root->GetProperty("running/currenttime").ToInt(), 10);
  EXPECT_EQ(root->GetProperty("paused/currenttime").ToInt(), 0);
  root->Detach();
}

// Adds two siblings on its first step: one in front of itself (z -1, so the walk has passed its
// place already) and one behind.
class TSpawner : public TRectWidget {
 public:
  std::vector<Ref<IWidget>> spawned;

 protected:
  void DoAdvanceTime(int dt) override {
    TRectWidget::DoAdvanceTime(dt);
    if (!spawned.empty()) return;
    Ref<IWidget> group = Query<IWidget>(GetOwner());
    for (int z : {-1, 5}) {
      Ref<TRectWidget> w = NewObject<TRectWidget>();
      w->SetName(z < 0 ? "front" : "back");
      w->SetZ(z);
      group->GetChildren()->Add(w);
      spawned.push_back(w);
    }
  }
};

TEST(WidgetTime, ChildrenAddedDuringThePassAdvanceInTheSameFrameAndNoneTwice) {
  test::EnsureWidgetClasses();
  Ref<IWidget> root = LoadWidget(R"(
    <widget type="group_widget">
      <widgets>
        <widget type="rect_widget" name="first"/>
        <widget type="rect_widget" name="last" z="1"/>
      </widgets>
    </widget>)");
  Ref<TSpawner> spawner = NewObject<TSpawner>();
  spawner->SetName("spawner");
  root->GetChildren()->Add(spawner);

  root->AdvanceTime(10);
  EXPECT_EQ(Names(*root->GetChildren()),
            (std::vector<std::string>{"front", "first", "spawner", "last", "back"}));
  for (const char* name : {"front", "first", "spawner", "last", "back"})
    EXPECT_EQ(root->GetProperty(std::string(name) + "/currenttime").ToInt(), 10) << name;

  root->UpdateDirty(false, false);  // clears the advanced flags
  root->AdvanceTime(10);
  EXPECT_EQ(root->GetProperty("front/currenttime").ToInt(), 20);
  spawner->spawned.clear();
  root->Detach();
}

TEST(WidgetTime, HiddenSubtreesKeepAdvancingFromFrameToFrame) {
  Ref<IWidget> root = LoadWidget(R"(
    <widget type="group_widget" visible="yes">
      <widgets>
        <widget type="group_widget" name="panel">
          <widgets><widget type="rect_widget" name="clock"/></widgets>
        </widget>
      </widgets>
    </widget>)");
  for (int i = 0; i < 3; ++i) {
    root->AdvanceTime(10);
    root->UpdateDirty(false, false);
  }
  EXPECT_EQ(root->GetProperty("panel/clock/currenttime").ToInt(), 30);
  root->Detach();
}

// ---------------------------------------------------------------------------------------------
// Z order

TEST(WidgetZOrder, EqualZKeepInsertionOrderAndALowerZMovesForwardAtTheNextStep) {
  Ref<IWidget> root = LoadWidget(R"(
    <widget type="group_widget">
      <widgets>
        <widget type="rect_widget" name="c" z="1"/>
        <widget type="rect_widget" name="a"/>
        <widget type="rect_widget" name="b"/>
      </widgets>
    </widget>)");
  EXPECT_EQ(Names(*root->GetChildren()), (std::vector<std::string>{"a", "b", "c"}));

  Ref<TRectWidget> d = NewObject<TRectWidget>();
  d->SetName("d");
  root->GetChildren()->Add(d);
  EXPECT_EQ(Names(*root->GetChildren()), (std::vector<std::string>{"a", "b", "d", "c"}))
      << "inserted after the last child whose z is not greater";

  root->FindWidget("c")->SetZ(-1);
  EXPECT_EQ(Names(*root->GetChildren()), (std::vector<std::string>{"a", "b", "d", "c"}))
      << "the order changes only at the group's next step";
  root->AdvanceTime(0);
  EXPECT_EQ(Names(*root->GetChildren()), (std::vector<std::string>{"c", "a", "b", "d"}));

  root->GetChildren()->SetSorted(false);
  root->FindWidget("d")->SetZ(-5);
  root->AdvanceTime(0);
  EXPECT_EQ(Names(*root->GetChildren()), (std::vector<std::string>{"c", "a", "b", "d"}))
      << "an unsorted collection keeps its order";
  root->Detach();
}

TEST(WidgetCollection, AddingAWidgetOfAnotherGroupMovesIt) {
  Ref<IWidget> root = LoadWidget(R"(
    <widget type="group_widget">
      <widgets>
        <widget type="group_widget" name="from"><widgets>
          <widget type="rect_widget" name="item"/></widgets></widget>
        <widget type="group_widget" name="to"/>
      </widgets>
    </widget>)");
  Ref<IWidget> item = root->FindWidget("from/item");
  Ref<IWidget> to = root->FindWidget("to");
  EXPECT_TRUE(to->GetChildren()->Add(item));
  EXPECT_EQ(root->FindWidget("from")->GetChildren()->Count(), 0);
  EXPECT_EQ(root->FindWidget("to/item"), item);
  EXPECT_EQ(Query<IWidget>(item->GetOwner()), to);
  EXPECT_FALSE(to->GetChildren()->Add(item)) << "a widget is in a collection once";
  root->Detach();
}

TEST(WidgetCollection, DuplicateAndEmptyNamesAreKeptAndLookupFindsTheFirst) {
  Ref<IWidget> root = LoadWidget(R"(
    <widget type="group_widget">
      <widgets>
        <widget type="rect_widget" name="coin" currenttime="1"/>
        <widget type="rect_widget" name="COIN" currenttime="2"/>
        <widget type="rect_widget"/>
        <widget type="rect_widget"/>
      </widgets>
    </widget>)");
  EXPECT_EQ(root->GetChildren()->Count(), 4);
  EXPECT_EQ(root->GetProperty("coin/currenttime").ToInt(), 1);
  root->GetChildren()->Delete(TVariant("coin"));
  EXPECT_EQ(root->GetProperty("coin/currenttime").ToInt(), 2);
  root->Detach();
}

// ---------------------------------------------------------------------------------------------
// Paths and properties

class WidgetPaths : public ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    Attach(R"(
      <widget type="group_widget" name="root" visible="yes">
        <widgets>
          <widget type="group_widget" name="a" visible="yes">
            <widgets>
              <widget type="rect_widget" name="b" width="3"/>
              <widget type="rect_widget" name="c" width="4"/>
            </widgets>
          </widget>
          <widget type="rect_widget" name="d" width="5"/>
        </widgets>
      </widget>)");
  }
};

TEST_F(WidgetPaths, ResolveRelativeToTheWidget) {
  Ref<IWidget> b = screen->root->FindWidget("a/b");
  ASSERT_TRUE(b);
  struct TCase {
    const char* path;
    const char* found;  // nullptr: nothing
  };
  const TCase cases[] = {
      {"", "b"},
      {".", "b"},
      {"./.", "b"},
      {"..", "a"},
      {"../c", "c"},
      {"../../d", "d"},
      {"window:", "root"},
      {"window:/d", "d"},
      {"window:/a/c", "c"},
      {"/a", nullptr},
      {"x", nullptr},
      {"../x/y", nullptr},
      {"../../..", "root"},  // the screen answers "" with its root
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.path);
    Ref<IWidget> w = b->FindWidget(c.path);
    if (!c.found) {
      EXPECT_FALSE(w);
    } else {
      ASSERT_TRUE(w);
      EXPECT_EQ(w->GetName(), c.found);
    }
  }
}

TEST_F(WidgetPaths, PropertyNamesMayCarryAPath) {
  Ref<IWidget> root = screen->root;
  EXPECT_EQ(root->GetProperty("a/c/width").ToInt(), 4);
  root->SetProperty("a/b/visible", true);
  EXPECT_TRUE(root->FindWidget("a/b")->GetVisible());
  EXPECT_EQ(root->FindWidget("a/b")->GetProperty("../../d/width").ToInt(), 5);
  EXPECT_TRUE(root->GetProperty("a/missing/width").IsNull());
  root->SetProperty("a/missing/width", 9);  // nothing to write to
  EXPECT_TRUE(FindWidget<TRectWidget>(root, "window:/d"));
  EXPECT_FALSE(FindWidget<TSurfaceWidget>(root, "d")) << "another kind answers empty";
  EXPECT_EQ(root->Find<TRectWidget>("a/c")->GetWidth(), 4);
  EXPECT_FALSE(root->Find<TRectWidget>("a"));
  EXPECT_FALSE(FindWidget<TRectWidget>(nullptr, "a"));
}

TEST(WidgetProperties, AnAliasIsFollowedOnlyAfterABackslash) {
  struct TCase {
    const char* aliases;
    int64_t expected;  // reading "x"
  };
  const TCase cases[] = {
      {"x=z", 7},         // first entry without "\": x is the extra parameter
      {"\\x=z", 3},       // the target "z" is read
      {"\\y=w\\x=z", 3},  // any entry after a backslash
      {"\\ x = z", 7},    // the name must follow the backslash directly
      {"\\x={z}", 3},     // braces around the value are dropped
      {"\\x=x", 7},       // an alias to itself is no alias
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.aliases);
    // "z" is the built-in property; "x" is also an extra parameter.
    Ref<IWidget> w = LoadWidget(R"(<widget type="rect_widget" z="3" extraparams="\x=7"/>)");
    Query<TAbstractWidget>(w)->SetAliases(c.aliases);
    EXPECT_EQ(w->GetProperty("x").ToInt(), c.expected);
  }
}

TEST(WidgetProperties, WritingThroughAnAliasStopsThere) {
  Ref<IWidget> w = LoadWidget(R"(<widget type="rect_widget" aliases="\pos=anchor_left"
                                   extraparams="\pos=1"/>)");
  w->SetProperty("pos", 42);
  EXPECT_EQ(w->GetAnchorLeft(), 42);
  EXPECT_EQ(Query<TAbstractWidget>(w)->GetExtraParams()->GetValue("pos").ToInt(), 1);
}

TEST(WidgetProperties, AliasCyclesEndInNull) {
  Ref<IWidget> w = LoadWidget(R"(<widget type="rect_widget" aliases="\a=b\b=a"/>)");
  EXPECT_TRUE(w->GetProperty("a").IsNull());
  w->SetProperty("a", 1);  // must return
}

TEST(WidgetProperties, ReadsAndWritesFollowTheTable) {
  struct TCase {
    const char* name;
    TVariant written;
    TVariant expected;
  };
  const TCase cases[] = {
      {"z", TVariant(4), TVariant(4)},
      {"z", TVariant("abc"), TVariant(2)},  // a value that does not convert is ignored
      {"anchor_left", TVariant("12.5"), TVariant(12.5)},
      {"visible", TVariant("yes"), TVariant(true)},
      {"visible", TVariant("maybe"), TVariant(false)},
      {"transparentlevel", TVariant(300), TVariant(255)},
      {"transparentlevel", TVariant(-4), TVariant(0)},
      {"time_rate", TVariant(0.25), TVariant(0.25)},
      {"timetolive", TVariant("900"), TVariant(900)},
      {"mousestop", TVariant(1), TVariant(true)},
      {"enabled", TVariant(true), TVariant(false)},  // not at this level
      {"left", TVariant(9), TVariant(1.0)},          // read-only
      {"width", TVariant(6), TVariant(6)},           // a single widget sets its size
      {"nonsense", TVariant(1), TVariant(TVariant::Null)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << " := " << c.written.ToString());
    Ref<IWidget> w = LoadWidget(R"(<widget type="rect_widget" z="2" anchor_left="1"/>)");
    w->SetProperty(c.name, c.written);
    EXPECT_EQ(w->GetProperty(c.name), c.expected);
  }
}

TEST(WidgetProperties, ExtraParametersAreLoadedWrittenOnlyWhenPresentAndCreatedByCode) {
  Ref<IWidget> w =
      LoadWidget(R"(<widget type="rect_widget" extraparams="\score=10\tag={a=b\c}"/>)");
  EXPECT_EQ(w->GetProperty("score"), TVariant("10"));
  EXPECT_EQ(w->GetProperty("tag"), TVariant("a=b\\c"));
  w->SetProperty("score", 11);
  w->SetProperty("bonus", 5);  // unknown: ignored
  EXPECT_EQ(w->GetProperty("score").ToInt(), 11);
  EXPECT_TRUE(w->GetProperty("bonus").IsNull());
  w->SetExtraParam("bonus", 5);
  EXPECT_EQ(w->GetProperty("bonus").ToInt(), 5);

  Ref<IHierStorage> saved = Query<IHierStorage>(CreateStorage("widget"));
  Query<IStorable>(w)->Save(saved);
  Ref<IWidget> again = Query<IWidget>(CreateFromNode(saved));
  EXPECT_EQ(again->GetProperty("tag"), TVariant("a=b\\c"));
  EXPECT_EQ(again->GetProperty("bonus"), TVariant("5"));
}

TEST(WidgetProperties, SettingADifferentCurrentTimeMarksTheWidgetChanged) {
  Ref<IWidget> w = LoadWidget(R"(<widget type="rect_widget" currenttime="5"/>)");
  w->SetProperty("currenttime", 5);
  EXPECT_FALSE(w->GetChanged());
  w->SetProperty("currenttime", 6);
  EXPECT_TRUE(w->GetChanged());
}

TEST_F(ScreenFixture, RedefinedParametersCopySourcesIntoTargetsWhenAttached) {
  Ref<IWidget> root = Attach(R"(
    <widget type="group_widget" extraparams="\startx=40">
      <widgets>
        <widget type="rect_widget" name="r" width="7"
                redefinedparams="\anchor_left=../startx\nosuch/x=width\height=width"/>
      </widgets>
    </widget>)");
  Ref<IWidget> r = root->FindWidget("r");
  EXPECT_EQ(r->GetAnchorLeft(), 40);
  EXPECT_EQ(r->GetHeight(), 7) << "a failing entry does not stop the ones after it";
}

TEST(WidgetStorage, SavesKeysThatDifferFromTheirDefaultsAndTheVisualKeysAlways) {
  Ref<IWidget> w = LoadWidget(
      R"(<widget type="rect_widget" name="r" paused="yes" time_rate="1" width="4" color="$FF00FF00"/>)");
  Ref<IHierStorage> saved = Query<IHierStorage>(CreateStorage("widget"));
  Query<IStorable>(w)->Save(saved);
  EXPECT_EQ(ReadString(saved, "type"), "rect_widget");
  EXPECT_EQ(ReadString(saved, "paused"), "yes");
  EXPECT_FALSE(saved->ReadValueView("time_rate", TVariant()));
  EXPECT_FALSE(saved->ReadValueView("timetolive", TVariant()));
  for (const char* key :
       {"visible", "z", "anchor_left", "anchor_top", "mousestop", "width", "height"})
    EXPECT_TRUE(saved->ReadValueView(key, TVariant())) << key;
  EXPECT_EQ(uint32_t(ReadInt(saved, "color", 0)), kGreen);
}

// ---------------------------------------------------------------------------------------------
// Geometry and hit testing

TEST_F(ScreenFixture, GroupBoundsAreTheUnionOfVisibleChildrenAtTheRoundedAnchors) {
  Ref<IWidget> root = Attach(R"(
    <widget type="group_widget" visible="yes" anchor_left="10.5" anchor_top="20">
      <widgets>
        <widget type="group_widget" name="inner" visible="yes" anchor_left="5" anchor_top="5">
          <widgets>
            <widget type="rect_widget" name="r" visible="yes" anchor_left="1" anchor_top="1"
                    width="2" height="2"/>
            <widget type="rect_widget" name="hidden" anchor_left="50" width="2" height="2"/>
          </widgets>
        </widget>
        <widget type="group_widget" name="empty" visible="yes" anchor_left="3.5" anchor_top="4"/>
      </widgets>
    </widget>)");
  EXPECT_EQ(root->FindWidget("empty")->GetBounds(), (TRect{4, 4, 4, 4}));
  EXPECT_EQ(root->FindWidget("inner")->GetBounds(), (TRect{6, 6, 8, 8}));
  // 10.5 rounds to 10 (halves to even); the empty group's point joins the union.
  EXPECT_EQ(root->GetBounds(), (TRect{14, 24, 18, 28}));
  EXPECT_EQ(root->GetLeft(), 14);
  EXPECT_EQ(root->GetWidth(), 4);

  Ref<IWidget> r = root->FindWidget("inner/r");
  EXPECT_EQ(GetScreenRect(r.get()), (TRect{16, 26, 18, 28}));
  EXPECT_EQ(LocalToScreen(r.get(), {0, 0}), (TPoint{15, 25}));
  EXPECT_EQ(r->ScreenToLocal({20, 30}), (TPoint{5, 5}));
  EXPECT_EQ(GetScreenRect(nullptr), TRect{});
}

TEST_F(ScreenFixture, MouseFindsOnlyWidgetsWhoseGroupsAllStopTheMouse) {
  struct TCase {
    const char* outer;  // mousestop of the outer group
    const char* inner;
    const char* leaf;
    const char* found;
  };
  const TCase cases[] = {
      {"yes", "yes", "yes", "leaf"},
      {"no", "yes", "yes", ""},  // a group without mouse stop hides all its children
      {"yes", "no", "yes", ""},
      {"yes", "yes", "no", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.outer << c.inner << c.leaf);
    std::string xml = std::string(R"(<widget type="group_widget" visible="yes" mousestop=")") +
                      c.outer + R"("><widgets><widget type="group_widget" name="inner"
      visible="yes" anchor_left="10" mousestop=")" +
                      c.inner + R"("><widgets>
      <widget type="rect_widget" name="leaf" visible="yes" width="5" height="5" mousestop=")" +
                      c.leaf + R"("/></widgets></widget></widgets></widget>)";
    screen->ReleaseTree();
    Ref<IWidget> root = Attach(xml);
    Ref<IWidget> hit = root->WidgetAtPos({12, 2});
    EXPECT_EQ(hit ? hit->GetName() : "", c.found);
    EXPECT_FALSE(root->WidgetAtPos({2, 2})) << "outside every child";
  }
}

TEST_F(ScreenFixture, ReturnSelfByPositionAnswersOnlyWhereAChildCoversThePoint) {
  Ref<IWidget> root = Attach(R"(
    <widget type="group_widget" name="g" visible="yes" mousestop="yes" returnselfbypos="yes">
      <widgets>
        <widget type="rect_widget" name="a" visible="yes" width="10" height="10"/>
        <widget type="rect_widget" name="b" visible="yes" anchor_left="20" width="10"
                height="10"/>
        <widget type="rect_widget" name="hot" visible="yes" mousestop="yes" anchor_left="40"
                width="10" height="10"/>
      </widgets>
    </widget>)");
  struct TCase {
    TPoint point;
    const char* found;
  };
  const TCase cases[] = {
      {{5, 5}, "g"}, {{10, 10}, "g"},  // edges count
      {{15, 5}, ""}, {{25, 5}, "g"},  {{45, 5}, "hot"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.point.x << "," << c.point.y);
    Ref<IWidget> hit = root->WidgetAtPos(c.point);
    EXPECT_EQ(hit ? hit->GetName() : "", c.found);
  }
  EXPECT_TRUE(root->ContainsPoint({25, 5}, false));
  root->SetVisible(false);
  EXPECT_FALSE(root->ContainsPoint({25, 5}, false));
  EXPECT_TRUE(root->ContainsPoint({25, 5}, true));
}

// ---------------------------------------------------------------------------------------------
// Dirty rectangles

class WidgetDirty : public ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    Attach(R"(
      <widget type="group_widget" name="root" visible="yes">
        <widgets>
          <widget type="rect_widget" name="a" visible="yes" anchor_left="10" anchor_top="20"
                  width="5" height="5"/>
          <widget type="group_widget" name="g" visible="yes" anchor_left="100">
            <widgets>
              <widget type="rect_widget" name="b" visible="yes" width="2" height="2"/>
            </widgets>
          </widget>
        </widgets>
      </widget>)");
    screen->Frame(10);
    screen->TakeInvalidated();
  }
  // The distinct rectangles the next frame invalidates.
  std::set<std::tuple<int, int, int, int>> NextFrame() {
    screen->Frame(10);
    std::set<std::tuple<int, int, int, int>> rects;
    for (const TRect& r : screen->TakeInvalidated())
      rects.insert({r.left, r.top, r.right, r.bottom});
    return rects;
  }
  IWidget& W(const char* path) { return *screen->root->FindWidget(path); }
};

TEST_F(WidgetDirty, InvalidatesWhatMovedChangedAppearedOrDisappeared) {
  using R = std::tuple<int, int, int, int>;
  EXPECT_TRUE(NextFrame().empty()) << "an idle frame invalidates nothing";

  W("a").SetAnchorLeft(30);
  EXPECT_EQ(NextFrame(), (std::set<R>{{10, 20, 15, 25}, {30, 20, 35, 25}}));

  W("a").SetTransparentLevel(100);
  EXPECT_EQ(NextFrame(), (std::set<R>{{30, 20, 35, 25}}));

  W("a").SetVisible(false);
  EXPECT_EQ(NextFrame(), (std::set<R>{{30, 20, 35, 25}}));
  EXPECT_TRUE(NextFrame().empty()) << "a hidden widget is then skipped";
  W("a").SetVisible(true);
  EXPECT_EQ(NextFrame(), (std::set<R>{{30, 20, 35, 25}}));

  W("g").SetAnchorTop(50);  // a moved group redraws its children's old and new places
  EXPECT_EQ(NextFrame(), (std::set<R>{{100, 0, 102, 2}, {100, 50, 102, 52}}));

  W("a").SetDead(true);
  EXPECT_EQ(NextFrame(), (std::set<R>{{30, 20, 35, 25}}));
  EXPECT_FALSE(screen->root->FindWidget("a"));
}

TEST_F(WidgetDirty, AddingAndRemovingAChildRedrawsItsArea) {
  Ref<TRectWidget> c = NewObject<TRectWidget>();
  c->SetVisible(true);
  c->SetAnchorLeft(1);
  c->SetWidth(3);
  c->SetHeight(3);
  W("g").GetChildren()->Add(c);
  std::vector<TRect> added = screen->TakeInvalidated();
  EXPECT_EQ(added, (std::vector<TRect>{{101, 0, 104, 3}})) << "at once, through the owners";
  EXPECT_TRUE(NextFrame().empty());
  W("g").GetChildren()->Remove(c.get());
  EXPECT_EQ(screen->TakeInvalidated(), (std::vector<TRect>{{101, 0, 104, 3}}));
  EXPECT_FALSE(c->GetOwner());
  EXPECT_TRUE(NextFrame().empty());
}

TEST_F(WidgetDirty, ABehaviourWidgetRedrawsItselfWhenItsDecoratedWidgetChanges) {
  using R = std::tuple<int, int, int, int>;
  Ref<TRectWidget> inner = NewObject<TRectWidget>();
  inner->SetVisible(true);
  inner->SetWidth(4);
  inner->SetHeight(4);
  Ref<TBehaviourWidget> behaviour = NewObject<TBehaviourWidget>();
  behaviour->SetVisible(true);
  behaviour->SetAnchorTop(60);
  behaviour->SetDecorated(inner);
  screen->root->GetChildren()->Add(behaviour);
  NextFrame();

  inner->SetColor(kRed);
  EXPECT_EQ(NextFrame(), (std::set<R>{{0, 60, 4, 64}}));
  EXPECT_TRUE(behaviour->GetInvalidated()) << "the behaviour widget redrew itself";
}

// ---------------------------------------------------------------------------------------------
// Drawing

TEST_F(ScreenFixture, AGroupDrawsItsVisibleChildrenInZOrderAtTheirRoundedAnchors) {
  Ref<IWidget> root = Attach(R"(
    <widget type="group_widget" visible="yes" anchor_left="1">
      <widgets>
        <widget type="rect_widget" visible="yes" z="1" width="2" height="2" color="$FFFF0000"/>
        <widget type="rect_widget" visible="yes" anchor_left="1.5" anchor_top="1" width="2"
                height="2" color="$FF0000FF"/>
        <widget type="rect_widget" anchor_left="3" width="2" height="2" color="$FF00FF00"/>
      </widgets>
    </widget>)");
  Ref<TSurface> s = MakeSurface(6, 3, true);
  root->Draw(s.get(), 1, 0);
  EXPECT_EQ(Picture(*s, kLegend), (std::vector<std::string>{".RR...", ".RRBB.", "...BB."}));
}

TEST_F(ScreenFixture, DrawingRespectsTheDirtyRectanglesOfTheSurface) {
  Ref<IWidget> root = Attach(R"(
    <widget type="group_widget" visible="yes">
      <widgets>
        <widget type="rect_widget" visible="yes" width="6" height="2" color="$FFFF0000"/>
      </widgets>
    </widget>)");
  Ref<TSurface> s = MakeSurface(6, 2, true);
  s->AddDirtyRect({1, 0, 3, 1});
  s->AddDirtyRect({4, 1, 5, 2});
  root->Draw(s.get(), 0, 0);
  EXPECT_EQ(Picture(*s, kLegend), (std::vector<std::string>{".RR...", "....R."}));
}

TEST_F(ScreenFixture, SurfaceWidgetCopiesItsShiftedPartOrPaintsThroughItsShape) {
  Ref<TSurfaceWidget> w =
      Attach<TSurfaceWidget>(R"(<widget type="surface_widget" visible="yes"/>)");
  Ref<TSurface> source = MakeSurface(4, 1, true);
  source->SetPixel(0, 0, kRed);
  source->SetPixel(1, 0, kBlue);
  source->SetPixel(2, 0, 0x00000000);
  source->SetPixel(3, 0, kRed);
  w->SetProperty("shiftleft", 3);
  w->SetProperty("surface", TVariant(Ref<ISurface>(source)));
  EXPECT_EQ(w->GetProperty("shiftleft").ToInt(), 0) << "a new surface clears the shifts";
  EXPECT_EQ(w->GetWidth(), 4);
  w->SetProperty("shiftleft", 1);
  w->SetProperty("width", 3);

  Ref<TSurface> s = MakeSurface(5, 1, true);
  w->Draw(s.get(), 1, 0);
  EXPECT_EQ(Picture(*s, kLegend), (std::vector<std::string>{".B.R."}));

  w->SetProperty("drawmode", 1);
  w->SetProperty("fillcolor", "$FF00FF00");
  s->ClearAll();
  w->Draw(s.get(), 1, 0);
  EXPECT_EQ(Picture(*s, kLegend), (std::vector<std::string>{".G.G."}));
  EXPECT_EQ(uint32_t(w->GetProperty("fillcolor").ToInt()), kGreen);
  w->SetProperty("fillcolor", "green");
  EXPECT_EQ(w->GetProperty("fillcolor").ToInt(), 0) << "colour text that does not parse is 0";
}

TEST_F(ScreenFixture, LinkedSurfaceWidgetShowsALiveCopyOfAnotherWidget) {
  Ref<IWidget> root = Attach(R"(
    <widget type="group_widget" visible="yes">
      <widgets>
        <widget type="rect_widget" name="src" visible="yes" width="2" height="1"
                color="$FFFF0000"/>
        <widget type="linked_surface_widget" name="copy" visible="yes" anchor_left="3"
                linked_widget_name="../src"/>
      </widgets>
    </widget>)");
  screen->Frame(10);
  Ref<TRectWidget> src = FindWidget<TRectWidget>(root, "src");
  src->SetColor(kBlue);
  screen->Frame(10);
  Ref<TSurface> s = MakeSurface(5, 1, true);
  root->Draw(s.get(), 0, 0);
  EXPECT_EQ(Picture(*s, kLegend), (std::vector<std::string>{"BB.BB"}));
}

TEST_F(ScreenFixture, DecoratorsDrawTheirWidgetAtTheirPositionOrInAGrid) {
  Ref<IWidget> root = Attach(R"(
    <widget type="group_widget" visible="yes">
      <widgets>
        <widget type="replicator_widget" name="grid" visible="yes" anchor_left="1" cols="3"
                rows="2">
          <widgets>
            <widget type="rect_widget" visible="yes" anchor_left="9" width="1" height="1"
                    color="$FFFF0000"/>
          </widgets>
        </widget>
      </widgets>
    </widget>)");
  Ref<TRectWidget> inner = NewObject<TRectWidget>();
  inner->SetAnchorLeft(1);
  inner->SetAnchorTop(1);
  inner->SetWidth(2);
  inner->SetHeight(1);
  inner->SetColor(kBlue);
  Ref<TBehaviourWidget> behaviour = NewObject<TBehaviourWidget>();
  behaviour->SetVisible(true);
  behaviour->SetAnchorLeft(4);
  behaviour->SetDecorated(inner);
  root->GetChildren()->Add(behaviour);

  EXPECT_EQ(root->FindWidget("grid")->GetBounds(), (TRect{1, 0, 4, 2}));
  EXPECT_EQ(behaviour->GetBounds(), (TRect{5, 1, 7, 2}));
  EXPECT_EQ(root->FindWidget("grid/anything"), root->FindWidget("grid")->GetChild(TVariant(0)))
      << "a decorator answers its widget whatever the key";

  Ref<TSurface> s = MakeSurface(8, 3, true);
  root->Draw(s.get(), 0, 0);
  EXPECT_EQ(Picture(*s, kLegend), (std::vector<std::string>{".RRR....", ".RRR.BB.", "........"}));
}

TEST_F(ScreenFixture, ADecoratorHitAnswersItsWidgetWhenThatOneIsHitToo) {
  Ref<IWidget> root = Attach(R"(
    <widget type="group_widget" visible="yes" mousestop="yes">
      <widgets>
        <widget type="replicator_widget" name="rep" visible="yes" mousestop="yes"
                anchor_left="10" cols="4">
          <widgets>
            <widget type="rect_widget" name="cell" visible="yes" mousestop="yes" width="5"
                    height="5"/>
          </widgets>
        </widget>
      </widgets>
    </widget>)");
  struct TCase {
    TPoint point;
    const char* found;
  };
  const TCase cases[] = {
      {{12, 2}, "cell"},  // the first copy is where the widget itself is
      {{22, 2}, "rep"},   // the other copies are the decorator's
      {{35, 2}, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.found);
    Ref<IWidget> hit = root->WidgetAtPos(c.point);
    EXPECT_EQ(hit ? hit->GetName() : "", c.found);
  }
  root->FindWidget("rep/cell")->SetMouseStop(false);
  EXPECT_EQ(root->WidgetAtPos({12, 2})->GetName(), "rep");
}

TEST_F(ScreenFixture, ACachingGroupDrawsTheCacheRenewedOnlyByRefresh) {
  Ref<IWidget> root = Attach(R"(
    <widget type="group_widget" visible="yes">
      <widgets>
        <widget type="group_widget" name="g" visible="yes" anchor_left="1" caching="yes">
          <widgets>
            <widget type="rect_widget" name="r" visible="yes" anchor_left="1" width="2"
                    height="1" color="$FFFF0000"/>
          </widgets>
        </widget>
      </widgets>
    </widget>)");
  Ref<IWidget> g = root->FindWidget("g");
  EXPECT_FALSE(g->GetProperty("cachesurface").ToInterface<ISurface>())
      << "no cache before the first refresh";
  g->Refresh();
  Ref<ISurface> cache = g->GetProperty("cachesurface").ToInterface<ISurface>();
  ASSERT_TRUE(cache);
  EXPECT_EQ(cache->GetWidth(), 2);

  FindWidget<TRectWidget>(root, "g/r")->SetColor(kBlue);
  Ref<TSurface> s = MakeSurface(5, 1, true);
  root->Draw(s.get(), 0, 0);
  EXPECT_EQ(Picture(*s, kLegend), (std::vector<std::string>{"..RR."}));

  g->SetProperty("caching", true);  // setting it refreshes
  s->ClearAll();
  root->Draw(s.get(), 0, 0);
  EXPECT_EQ(Picture(*s, kLegend), (std::vector<std::string>{"..BB."}));
}

TEST_F(ScreenFixture, ImagesArePicturesOfTheBoundsAndPixelsOverlapTestsTheirAlpha) {
  Ref<IWidget> root = Attach(R"(
    <widget type="group_widget" visible="yes">
      <widgets>
        <widget type="surface_widget" name="a" visible="yes"/>
        <widget type="surface_widget" name="b" visible="yes"/>
      </widgets>
    </widget>)");
  Ref<TSurface> dotA = MakeSurface(2, 2, true);
  dotA->SetPixel(0, 0, kRed);
  Ref<TSurface> dotB = MakeSurface(2, 2, true);
  dotB->SetPixel(1, 1, kBlue);
  Ref<IWidget> a = root->FindWidget("a");
  Ref<IWidget> b = root->FindWidget("b");
  a->SetProperty("surface", TVariant(Ref<ISurface>(dotA)));
  b->SetProperty("surface", TVariant(Ref<ISurface>(dotB)));

  Ref<ISurface> image = root->GetImage();
  ASSERT_TRUE(image);
  EXPECT_EQ(image->GetWidth(), 2);
  EXPECT_EQ(image->GetPixel(0, 0), kRed);
  EXPECT_EQ(image->GetPixel(1, 1), kBlue);

  EXPECT_FALSE(PixelsOverlap(a.get(), {0, 0, 2, 2}, b.get(), {1, 1, 3, 3}))
      << "the common pixel is transparent in A";
  EXPECT_TRUE(PixelsOverlap(a.get(), {0, 0, 2, 2}, b.get(), {-1, -1, 1, 1}));
  EXPECT_FALSE(PixelsOverlap(a.get(), {0, 0, 2, 2}, b.get(), {2, 0, 4, 2})) << "only touching";
  EXPECT_FALSE(PixelsOverlap(nullptr, {0, 0, 2, 2}, b.get(), {0, 0, 2, 2}));

  Ref<IWidget> loose = LoadWidget(R"(<widget type="rect_widget" width="2" height="2"/>)");
  EXPECT_FALSE(loose->GetImage()) << "no engine without an owner";
}

// ---------------------------------------------------------------------------------------------
// Sounds

TEST_F(ScreenFixture, SoundsPlayThroughTheEngineAndAnOverrideHoldsForOnePlay) {
  Ref<TRectWidget> w = Attach<TRectWidget>(R"(
    <widget type="rect_widget">
      <sounds><sound name="click" resourcename="snd_click" volume="40"/></sounds>
    </widget>)");
  Ref<ISound> click = w->GetSounds()->Get(TVariant("click"));
  ASSERT_TRUE(click);

  EXPECT_NE(w->PlaySound("click", true, 50, 10), 0u);
  EXPECT_NE(w->PlaySound("CLICK", false, 50, 10), 0u);
  EXPECT_EQ(w->PlaySound("boom", false, 0, 0), 0u);
  ASSERT_EQ(screen->engine->plays.size(), 2u);
  EXPECT_EQ(screen->engine->plays[0].sound, "snd_click");
  EXPECT_EQ(screen->engine->plays[0].volume, 50);
  EXPECT_EQ(screen->engine->plays[0].pan, 10);
  EXPECT_EQ(screen->engine->plays[1].volume, 40) << "the sound's own settings are restored";
  EXPECT_EQ(click->GetPan(), -101);
  w->StopSound("click");
  EXPECT_EQ(screen->engine->stops, (std::vector<std::string>{"snd_click"}));

  Ref<TRectWidget> loose = NewObject<TRectWidget>();
  loose->SetSounds(w->GetSounds());
  EXPECT_EQ(loose->PlaySound("click", false, 0, 0), 0u) << "no engine without an owner";
}

// ---------------------------------------------------------------------------------------------
// Driver function

constexpr const char* kDrivenRect = R"(
  <widget type="rect_widget" name="r">
    <function_widget type="function_linear_segment">
      <paramspace><paramdefs>
        <paramdef name="anchor_left" static="yes"/>
        <paramdef name="from" col="1" static="yes" value="0"/>
        <paramdef name="to" col="1" static="yes" value="100"/>
        <paramdef name="currenttime" col="1" static="yes"/>
        <paramdef name="length" col="1" static="yes" value="1000"/>
      </paramdefs></paramspace>
    </function_widget>
  </widget>)";

TEST_F(ScreenFixture, TheDriverFunctionRunsAfterEveryStepAndStartsOverOnRestart) {
  Ref<IWidget> w = LoadWidget(kDrivenRect);
  w->AdvanceTime(500);
  EXPECT_EQ(w->GetAnchorLeft(), 0) << "the function is bound when the widget gets an owner";
  screen->SetRoot(w);
  w->AdvanceTime(250);
  EXPECT_DOUBLE_EQ(w->GetAnchorLeft(), 75);
  w->Restart();
  EXPECT_DOUBLE_EQ(w->GetAnchorLeft(), 0);
  w->AdvanceTime(100);
  EXPECT_DOUBLE_EQ(w->GetAnchorLeft(), 10);
}

TEST(WidgetFunction, AnUnknownFunctionKindIsSkipped) {
  Ref<IWidget> w = LoadWidget(R"(
    <widget type="rect_widget"><function_widget type="function_nonsense"/></widget>)");
  ASSERT_TRUE(w);
  EXPECT_FALSE(Query<TAbstractWidget>(w)->GetFunction());
}

// ---------------------------------------------------------------------------------------------
// Life of the tree

TEST_F(ScreenFixture, DetachLetsEveryChildGoOfItsOwner) {
  Ref<IWidget> root = Attach(R"(
    <widget type="group_widget" visible="yes">
      <widgets>
        <widget type="group_widget" name="g"><widgets>
          <widget type="rect_widget" name="r"/></widgets></widget>
        <widget type="replicator_widget" name="rep"><widgets>
          <widget type="rect_widget" name="inner"/></widgets></widget>
      </widgets>
    </widget>)");
  Ref<IWidget> r = root->FindWidget("g/r");
  Ref<IWidget> inner = root->FindWidget("rep/inner");
  ASSERT_TRUE(r && inner);
  EXPECT_TRUE(r->GetOwner());
  root->Detach();
  EXPECT_FALSE(root->GetOwner());
  EXPECT_FALSE(r->GetOwner());
  EXPECT_FALSE(inner->GetOwner());
  // Reattaching gives the owners back.
  screen->SetRoot(root);
  EXPECT_EQ(Query<IWidget>(r->GetOwner()), root->FindWidget("g"));
  EXPECT_EQ(Query<IWidget>(inner->GetOwner()), root->FindWidget("rep"));
}

TEST(WidgetLoading, UnknownChildrenAreSkippedAndTheRestLoads) {
  Ref<IWidget> root = LoadWidget(R"(
    <widget type="group_widget">
      <widgets>
        <widget type="no_such_widget" name="x"/>
        <widget type="rect_widget" name="ok" visible="maybe" z="high"/>
      </widgets>
    </widget>)");
  EXPECT_EQ(Names(*root->GetChildren()), (std::vector<std::string>{"ok"}));
  EXPECT_FALSE(root->FindWidget("ok")->GetVisible()) << "a bad value keeps the default";
  EXPECT_EQ(root->FindWidget("ok")->GetZ(), 0);
  root->Detach();
}

TEST(WidgetLoading, DeepNestingStopsInsteadOfExhaustingTheStack) {
  std::string xml;
  const int depth = TSimpleWidgetCollection::kMaxLoadDepth + 50;
  for (int i = 0; i < depth; ++i) xml += R"(<widget type="group_widget"><widgets>)";
  for (int i = 0; i < depth; ++i) xml += "</widgets></widget>";
  Ref<IWidget> root = LoadWidget(xml);
  ASSERT_TRUE(root);
  int levels = 0;
  for (Ref<IWidget> w = root; w && w->GetChildren()->Count() > 0; w = w->GetChild(TVariant(0)))
    ++levels;
  EXPECT_EQ(levels, TSimpleWidgetCollection::kMaxLoadDepth);
  root->Detach();
}

}  // namespace
}  // namespace lumessa

namespace lumessa {
namespace {

// Numbers far outside anything meaningful must neither crash (the sanitizers stop on any
// overflow) nor hang, whatever the widgets do with them.
TEST_F(ScreenFixture, AbsurdNumbersInTheDataNeitherCrashNorHang) {
  Ref<test::TFakeFont> font = MakeRef<test::TFakeFont>(8);
  font->AddGlyph('A', 4, 6);
  font->AddGlyph(' ', 2, 6);
  screen->engine->AddResource("font", font);
  screen->engine->AddResource("grid", MakeRef<test::TFakeImage>(MakeSurface(4, 4, true)));
  Ref<IWidget> root = Attach(R"(
    <widget type="group_widget" visible="yes" mousestop="yes" anchor_left="1e300"
            anchor_top="nan">
      <widgets>
        <widget type="replicator_widget" visible="yes" cols="99999999" rows="-5"
                anchor_left="-1e12" time_rate="1e300">
          <widgets>
            <widget type="rect_widget" visible="yes" width="2147483647" height="2147483647"
                    color="$FFFFFFFF"/>
          </widgets>
        </widget>
        <widget type="text_widget" visible="yes" mousestop="yes" resourcename="font"
                width="2147483647" height="2147483647" multiline="yes" usefixedwidth="yes"
                fixedwidth="2147483647" textvertalign="middle" textlineheight="-2147483648"
                text="A A A A"/>
        <widget type="animation_widget" visible="yes" resourcename="grid" width="1"
                height="1" resourcewidth="2147483647" framescount="2147483647"
                animationtime="1" startdelaytime="-2147483648" currenttime="2147483647"
                loop="yes"/>
        <widget type="blink_widget" visible="yes" firstperiod="-2147483648" secondperiod="0"
                loop="yes" loops_count="-1"/>
      </widgets>
    </widget>)");
  for (int i = 0; i < 5; ++i) screen->Frame(2147483647);
  Ref<TSurface> s = MakeSurface(64, 64, true);
  root->Draw(s.get(), 0, 0);
  const TRect bounds = root->GetBounds();
  EXPECT_GE(bounds.left, -(1 << 30));
  EXPECT_LE(bounds.right, 1 << 30);
  root->WidgetAtPos({1, 1});
  root->ContainsPoint({1, 1}, true);
  EXPECT_FALSE(root->GetImage()->GetWidth() > TSurface::kMaxSide);
}

}  // namespace
}  // namespace lumessa
