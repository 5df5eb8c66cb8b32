// Controls: mouse dispatch and hit area, pictures by state, hover through the engine's cursor,
// button actions and events, check boxes, progress bars.
#include "shell/controls.h"

#include <string>
#include <vector>

#include "shell/shell_classes.h"
#include "widget_test_util.h"

namespace lumessa::test {
namespace {

// The controls are registered with the shell's classes.
class TShellClasses : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!FindObjectClass("Game").construct) RegisterShellClasses();
  }
};
[[maybe_unused]] ::testing::Environment* const kShellClasses =
    ::testing::AddGlobalTestEnvironment(new TShellClasses);

// A screen that records capture, focus and the events its widgets send.
class TControlScreen : public TTestScreen, public virtual IEventHandler {
 public:
  struct TEvent {
    std::string sender;
    int code;
  };
  std::vector<TEvent> events;
  Ref<IWidget> capture;
  Ref<IWidget> focus;

  Ref<IEventHandler> GetEventHandler() const override {
    return Ref<IEventHandler>(const_cast<TControlScreen*>(this));
  }
  void SetCapture(const Ref<IWidget>& widget) override { capture = widget; }
  void ReleaseCapture() override { capture.reset(); }
  Ref<IWidget> GetCapture() const override { return capture; }
  void SetFocus(const Ref<IWidget>& widget) override {
    focus = widget;
    if (widget) widget->OnFocus();
  }
  Ref<IWidget> GetFocus() const override { return focus; }

  bool HandleEvent(const Ref<IWidget>& sender, int code, const TVariant&) override {
    events.push_back({sender ? sender->GetName() : std::string(), code});
    return true;
  }
  Ref<IEngine> GetEngine() const override { return engine; }
  Ref<IInterface> GetScreenOwner() const override { return {}; }
  void ReleaseAll() {
    capture.reset();
    focus.reset();
    ReleaseTree();
  }
};

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureWidgetClasses(); }
  void TearDown() override { screen->ReleaseAll(); }

  template <class T = IWidget>
  Ref<T> Attach(std::string_view xml) {
    Ref<IWidget> widget = LoadWidget(xml);
    screen->SetRoot(widget);
    return Query<T>(widget);
  }
  // The names of the visible children of w, in order.
  static std::string Shown(const Ref<IWidget>& w) {
    std::string names;
    Ref<IWidgetCollection> children = w->GetChildren();
    for (int i = 0; i < children->Count(); ++i) {
      Ref<IWidget> c = children->GetByIndex(i);
      if (c->GetVisible()) names += (names.empty() ? "" : ",") + c->GetName();
    }
    return names;
  }
  // The cursor placed at p, then one time step.
  void HoverAt(TPoint p) {
    screen->engine->cursorPos = p;
    screen->root->AdvanceTime(10);
  }
  bool Mouse(uint32_t message, TPoint p) { return screen->root->HandleMouse(message, p, 0); }

  Ref<TControlScreen> screen = NewObject<TControlScreen>();
};

constexpr const char* kButtonXml = R"(
  <widget type="ButtonControl" name="ok" visible="yes" enabled="yes" mousestop="yes"
          anchor_left="10" anchor_top="20" width="30" height="10" actiontype="%s" %s>
    <widgets>
      <widget type="rect_widget" name="image_normal" width="30" height="10"/>
      <widget type="rect_widget" name="image_selected" width="30" height="10"/>
      %s
    </widgets>
  </widget>)";

std::string ButtonXml(std::string_view action, std::string_view extra = {},
                      std::string_view moreChildren = {}) {
  std::string xml = kButtonXml;
  for (std::string_view part : {action, extra, moreChildren}) {
    const size_t at = xml.find("%s");
    xml.replace(at, 2, part);
  }
  return xml;
}

TEST_F(ControlsTest, HitAreaIsOwnRectangleWithInclusiveEdgesAndMask) {
  Ref<IWidget> c = Attach(R"(
    <widget type="Control" visible="yes" mousestop="yes" anchor_left="10.4" anchor_top="20"
            width="30" height="10"/>)");
  struct Case {
    TPoint p;
    bool inside;
  } cases[] = {
      {{10, 20}, true}, {{40, 30}, true}, {{41, 30}, false}, {{9, 25}, false}, {{25, 31}, false}};
  for (const Case& k : cases) {
    EXPECT_EQ(c->ContainsPoint(k.p, false), k.inside) << k.p.x << "," << k.p.y;
    EXPECT_EQ(c->WidgetAtPos(k.p).get() == c.get(), k.inside) << k.p.x << "," << k.p.y;
  }
  EXPECT_EQ(c->GetBounds(), (TRect{10, 20, 40, 30}));
  c->SetVisible(false);
  EXPECT_FALSE(c->ContainsPoint({20, 25}, false));
  EXPECT_TRUE(c->ContainsPoint({20, 25}, true));

  // An invisible mask child limits the area to its own shape.
  Ref<IWidget> masked = LoadWidget(R"(
    <widget type="Control" visible="yes" anchor_left="10" anchor_top="20" width="30" height="10"
            maskwidget="shape">
      <widgets><widget type="rect_widget" name="shape" width="5" height="5"/></widgets>
    </widget>)");
  EXPECT_TRUE(masked->ContainsPoint({12, 22}, false));
  EXPECT_FALSE(masked->ContainsPoint({30, 28}, false));
  ReleaseWidget(masked);
}

TEST_F(ControlsTest, ButtonPicturesFollowEnabledAndHover) {
  Ref<TButtonControl> b = Attach<TButtonControl>(ButtonXml(
      "", "", R"(<widget type="rect_widget" name="image_disabled" width="30" height="10"/>)"));
  EXPECT_EQ(Shown(b), "image_normal");
  HoverAt({15, 25});
  EXPECT_EQ(Shown(b), "image_selected");
  EXPECT_FALSE(b->GetChild("image_selected")->GetPaused());
  EXPECT_TRUE(b->GetChild("image_normal")->GetPaused());
  HoverAt({0, 0});
  EXPECT_EQ(Shown(b), "image_normal");
  b->SetEnabled(false);
  EXPECT_EQ(Shown(b), "image_disabled");
  // Without a disabled picture the normal one stands in.
  b->GetChildren()->Delete("image_disabled");
  b->SetEnabled(true);
  b->SetEnabled(false);
  EXPECT_EQ(Shown(b), "image_normal");
}

TEST_F(ControlsTest, ButtonClickSendsEventAndPlaysSound) {
  Ref<TButtonControl> b = Attach<TButtonControl>(ButtonXml("Custom"));
  Ref<TFakeSoundCollection> sounds = NewObject<TFakeSoundCollection>();
  sounds->AddSound("sound_buttonclick");
  b->SetSounds(sounds);
  EXPECT_EQ(b->GetActionType(), "custom");

  EXPECT_TRUE(Mouse(kMsgLeftDown, {15, 25}));
  EXPECT_TRUE(b->GetPressed());
  EXPECT_EQ(screen->capture.get(), b.get());
  EXPECT_TRUE(Mouse(kMsgLeftUp, {16, 26}));
  EXPECT_FALSE(b->GetPressed());
  EXPECT_FALSE(screen->capture);
  ASSERT_EQ(screen->events.size(), 1u);
  EXPECT_EQ(screen->events[0].sender, "ok");
  EXPECT_EQ(screen->events[0].code, kEventClick);
  EXPECT_EQ(screen->engine->plays.size(), 2u);  // on press and on release
}

TEST_F(ControlsTest, ButtonReleasedOffItOrDisabledDoesNothing) {
  Ref<TButtonControl> b = Attach<TButtonControl>(ButtonXml(""));
  EXPECT_TRUE(Mouse(kMsgLeftDown, {15, 25}));
  EXPECT_TRUE(Mouse(kMsgLeftUp, {100, 100}));  // handled, but no action
  EXPECT_FALSE(screen->capture);
  EXPECT_FALSE(b->GetPressed());
  // A release without a press, and the right button, are not the button's.
  EXPECT_FALSE(Mouse(kMsgLeftUp, {15, 25}));
  EXPECT_FALSE(Mouse(kMsgLeftDown + 3, {15, 25}));
  b->SetEnabled(false);
  EXPECT_FALSE(Mouse(kMsgLeftDown, {15, 25}));
  EXPECT_FALSE(b->GetPressed());
  EXPECT_TRUE(screen->events.empty());
}

TEST_F(ControlsTest, ButtonOpensUrlsAndDocumentsThroughTheEngine) {
  struct Case {
    const char* action;
    const char* extra;
    std::vector<std::string> urls, documents;
  } cases[] = {
      {"URL", R"(url="http://x/")", {"http://x/"}, {}},
      {"run_file", R"(file_to_run="readme.txt")", {}, {"readme.txt"}},
  };
  for (const Case& c : cases) {
    screen->ReleaseAll();
    screen->engine->urls.clear();
    screen->engine->documents.clear();
    Attach(ButtonXml(c.action, c.extra));
    Mouse(kMsgLeftDown, {15, 25});
    Mouse(kMsgLeftUp, {15, 25});
    EXPECT_EQ(screen->engine->urls, c.urls) << c.action;
    EXPECT_EQ(screen->engine->documents, c.documents) << c.action;
    EXPECT_TRUE(screen->events.empty()) << c.action;
  }
}

TEST_F(ControlsTest, TabStopControlTakesFocusOnLeftPress) {
  Ref<TButtonControl> b = Attach<TButtonControl>(ButtonXml("", R"(tabstop="yes")"));
  Mouse(kMsgLeftDown + 3, {15, 25});  // right button: no focus
  EXPECT_FALSE(screen->focus);
  Mouse(kMsgLeftDown, {15, 25});
  EXPECT_EQ(screen->focus.get(), b.get());
  EXPECT_TRUE(b->GetFocused());
  b->OnCaptureLost();
  EXPECT_FALSE(b->GetPressed());
}

TEST_F(ControlsTest, TabMovesFocusAmongChildTabStopsAndWraps) {
  Ref<TControlWidget> panel = Attach<TControlWidget>(R"(
    <widget type="Control" visible="yes">
      <widgets>
        <widget type="Control" name="a" visible="yes" tabstop="yes"/>
        <widget type="Control" name="hidden" tabstop="yes"/>
        <widget type="Control" name="b" visible="yes" tabstop="yes"/>
        <widget type="Control" name="c" visible="yes"/>
      </widgets>
    </widget>)");
  auto focused = [&] {
    std::string names;
    for (const char* n : {"a", "hidden", "b", "c"})
      if (Query<TControlWidget>(panel->GetChild(n))->GetFocused()) names += n;
    return names;
  };
  EXPECT_FALSE(panel->HandleKey(kMsgKeyUp, kKeyTab, 0));  // not focused: nothing
  panel->OnFocus();
  EXPECT_TRUE(panel->HandleKey(kMsgKeyUp, kKeyTab, 0));
  EXPECT_EQ(focused(), "b");
  EXPECT_TRUE(panel->HandleKey(kMsgKeyUp, kKeyTab, 0));
  EXPECT_EQ(focused(), "a");
  EXPECT_FALSE(panel->HandleKey(kMsgKeyUp, 'X', 0));
  panel->OnBlur();
  EXPECT_EQ(focused(), "");
}

TEST_F(ControlsTest, LabelLightsUpOnlyWhenEnabled) {
  Ref<IWidget> l = Attach(R"(
    <widget type="LabelControl" visible="yes" enabled="yes" width="10" height="10">
      <widgets>
        <widget type="rect_widget" name="image_normal"/>
        <widget type="rect_widget" name="image_selected"/>
      </widgets>
    </widget>)");
  EXPECT_EQ(Shown(l), "image_normal");
  HoverAt({5, 5});
  EXPECT_EQ(Shown(l), "image_selected");
  l->SetEnabled(false);
  HoverAt({50, 50});
  EXPECT_EQ(Shown(l), "image_selected");  // kept as it was
  EXPECT_FALSE(Mouse(kMsgLeftDown, {5, 5}));
}

TEST_F(ControlsTest, CheckBoxPicturesAndToggle) {
  Ref<TCheckBoxControl> cb = Attach<TCheckBoxControl>(R"(
    <widget type="CheckBoxControl" name="cb" visible="yes" enabled="yes" width="10" height="10">
      <widgets>
        <widget type="rect_widget" name="image_check_normal"/>
        <widget type="rect_widget" name="image_check_selected"/>
        <widget type="rect_widget" name="image_uncheck_normal"/>
        <widget type="rect_widget" name="image_uncheck_disabled"/>
      </widgets>
    </widget>)");
  struct Case {
    bool checked, enabled;
    TPoint cursor;
    const char* shown;
  } cases[] = {
      {false, true, {50, 50}, "image_uncheck_normal"},
      {false, true, {5, 5}, "image_uncheck_normal"},  // no selected picture: normal
      {true, true, {5, 5}, "image_check_selected"},
      {true, false, {5, 5}, "image_check_normal"},  // no disabled picture: normal
      {false, false, {5, 5}, "image_uncheck_disabled"},
  };
  for (const Case& c : cases) {
    cb->SetProperty("CheckBoxState", c.checked);
    cb->SetEnabled(c.enabled);
    HoverAt(c.cursor);
    EXPECT_EQ(Shown(cb), c.shown) << c.checked << c.enabled << c.cursor.x;
  }
  EXPECT_TRUE(screen->events.empty());  // setting the state sends nothing

  cb->SetEnabled(true);
  cb->SetProperty("CheckBoxState", false);
  EXPECT_TRUE(Mouse(kMsgLeftDown, {5, 5}));
  EXPECT_TRUE(Mouse(kMsgLeftUp, {5, 5}));
  EXPECT_TRUE(cb->GetProperty("CheckBoxState").ToBool());
  ASSERT_EQ(screen->events.size(), 1u);
  EXPECT_EQ(screen->events[0].code, kEventCheckToggled);
  Mouse(kMsgLeftDown, {5, 5});
  Mouse(kMsgLeftUp, {50, 5});  // released outside: unchanged
  EXPECT_TRUE(cb->GetChecked());
  EXPECT_EQ(screen->events.size(), 1u);
}

TEST_F(ControlsTest, ProgressBarClampsAndCutsItsBar) {
  struct Case {
    bool vertical;
    double position;
    int width, height, top, resourceTop;
  } cases[] = {
      {false, 0.5, 50, 20, 4, 3},   {false, 1.5, 100, 20, 4, 3}, {false, -1, 0, 20, 4, 3},
      {true, 0.25, 100, 5, 19, 18}, {true, 2, 100, 20, 4, 3},    {true, -1, 100, 0, 24, 23},
  };
  for (const Case& c : cases) {
    screen->ReleaseAll();
    Ref<IWidget> bar = Attach(std::string(R"(
      <widget type="ProgressBarControl" visible="yes" vertical=")") +
                              (c.vertical ? "yes" : "no") + R"(">
        <widgets>
          <widget type="image_widget" name="bar" anchor_top="4" width="100" height="20"
                  resourcetop="3"/>
        </widgets>
      </widget>)");
    bar->SetProperty("position", c.position);
    const double clamped = c.position < 0 ? 0 : c.position > 1 ? 1 : c.position;
    EXPECT_EQ(bar->GetProperty("position").ToFloat(), clamped);
    Ref<IWidget> picture = bar->GetChild("bar");
    EXPECT_EQ(picture->GetWidth(), c.width) << c.vertical << c.position;
    EXPECT_EQ(picture->GetHeight(), c.height) << c.vertical << c.position;
    EXPECT_EQ(picture->GetAnchorTop(), c.top) << c.vertical << c.position;
    EXPECT_EQ(picture->GetProperty("resourcetop").ToInt(), c.resourceTop);
  }
}

}  // namespace
}  // namespace lumessa::test
