#include "engine/input_script.h"

#include <gtest/gtest.h>

namespace lumessa {
namespace {

TEST(InputScriptTest, EventsBecomeWindowMessagesInFileOrderPerFrame) {
  TInputScript script;
  std::string error;
  ASSERT_TRUE(script.Parse(R"(# a comment line
3 move 10 20
2 keydown 13   # Enter
3 down left 30 40
3 up left 30 40
5 char 65
5 altchar 13
5 dblclick right 1 2
7 close
)",
                           error))
      << error;
  EXPECT_EQ(script.LastFrame(), 7);
  EXPECT_TRUE(script.EventsFor(1).empty());

  auto f2 = script.EventsFor(2);
  ASSERT_EQ(f2.size(), 1u);
  EXPECT_EQ(f2[0].message.message, WM_KEYDOWN);
  EXPECT_EQ(f2[0].message.wParam, 13u);

  auto f3 = script.EventsFor(3);
  ASSERT_EQ(f3.size(), 3u);
  EXPECT_EQ(f3[0].message.message, WM_MOUSEMOVE);
  EXPECT_EQ(f3[0].message.lParam, (20u << 16) | 10u);
  EXPECT_EQ(f3[1].message.message, WM_LBUTTONDOWN);
  EXPECT_EQ(f3[1].message.wParam, MK_LBUTTON);  // the button is down during its own message
  EXPECT_TRUE(f3[1].movesCursor);
  EXPECT_EQ(f3[1].position, (TPoint{30, 40}));
  EXPECT_EQ(f3[2].message.message, WM_LBUTTONUP);
  EXPECT_EQ(f3[2].message.wParam, 0u);

  auto f5 = script.EventsFor(5);
  ASSERT_EQ(f5.size(), 3u);
  EXPECT_EQ(f5[0].message.message, WM_CHAR);
  EXPECT_EQ(f5[0].message.wParam, 65u);
  // Alt+key takes the menu-key path, exactly as the real window delivers it.
  EXPECT_EQ(f5[1].message.message, WM_SYSCOMMAND);
  EXPECT_EQ(f5[1].message.wParam, SC_KEYMENU);
  EXPECT_EQ(f5[1].message.lParam, 13u);
  EXPECT_EQ(f5[2].message.message, WM_RBUTTONDBLCLK);

  EXPECT_EQ(script.EventsFor(7)[0].message.message, WM_CLOSE);
}

TEST(InputScriptTest, NegativePositionsArePackedAsWords) {
  TInputScript script;
  std::string error;
  ASSERT_TRUE(script.Parse("1 move -1 -2", error)) << error;
  EXPECT_EQ(script.EventsFor(1)[0].message.lParam, 0xFFFEFFFFu);
}

TEST(InputScriptTest, BadLinesNameTheLineAndTheFault) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"0 close", "input script line 1: the frame must be a number from 1"},
      {"x close", "input script line 1: the frame must be a number from 1"},
      {"1", "input script line 1: a verb is missing"},
      {"\n\n1 jump 3", "input script line 3: unknown verb \"jump\""},
      {"1 move 5", "input script line 1: move takes X Y"},
      {"1 down side 1 2", "input script line 1: down takes B X Y, B being left, right or middle"},
      {"1 keydown 300", "input script line 1: keydown takes VK (1-255)"},
      {"1 char 70000", "input script line 1: char takes CODE (1-65535)"},
      {"1 close now", "input script line 1: close takes no arguments"},
      {"1 move 99999 0", "input script line 1: move takes X Y"},
  };
  for (const Case& c : cases) {
    TInputScript script;
    std::string error;
    EXPECT_FALSE(script.Parse(c.text, error)) << c.text;
    EXPECT_EQ(error, c.error);
    EXPECT_TRUE(script.Empty());
  }
}

}  // namespace
}  // namespace lumessa
