// What the widget tests stand on: the stand-ins of widget_fakes.h, trees built from XML text, a
// fixture that releases its tree (so the leak check sees every cycle broken), and pictures of
// surfaces as text.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "widget_fakes.h"
#include "widgets/widget_group.h"

namespace lumessa::test {

// The widget the XML's root element describes (with its whole subtree), or empty.
inline Ref<IWidget> LoadWidget(std::string_view xml) {
  EnsureWidgetClasses();
  Ref<IHierStorage> root = LoadStorageFromText(xml);
  EXPECT_TRUE(root) << "the test's XML does not parse";
  return root ? Query<IWidget>(CreateFromNode(root)) : Ref<IWidget>();
}

template <class T>
Ref<T> LoadAs(std::string_view xml) {
  Ref<T> widget = Query<T>(LoadWidget(xml));
  EXPECT_TRUE(widget) << "the test's XML is not the expected widget kind";
  return widget;
}

// A screen that releases its tree at the end of the test, so the leak check sees every cycle
// broken.
class ScreenFixture : public ::testing::Test {
 protected:
  void SetUp() override { EnsureWidgetClasses(); }
  void TearDown() override { screen->ReleaseTree(); }

  // Loads the XML, attaches it to the screen and returns it as T.
  template <class T = IWidget>
  Ref<T> Attach(std::string_view xml) {
    Ref<IWidget> widget = LoadWidget(xml);
    screen->SetRoot(widget);
    return Query<T>(widget);
  }
  template <class T = IWidget>
  Ref<T> Find(std::string_view path) {
    Ref<T> widget = FindWidget<T>(screen->root, path);
    EXPECT_TRUE(widget) << "no widget of the expected kind at '" << path << "'";
    return widget;
  }

  Ref<TTestScreen> screen = NewObject<TTestScreen>();
};

// A surface of that size filled with one pixel value (alpha channel on).
inline Ref<TSurface> FilledSurface(int width, int height, uint32_t pixel) {
  Ref<TSurface> s = MakeSurface(width, height, true);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) s->SetPixel(x, y, pixel);
  return s;
}

// The pixels of a surface row by row as text: '.' for 0 and a letter per distinct value as given
// in `legend` (pixel -> character); '?' for others.
inline std::vector<std::string> Picture(const ISurface& s, const std::map<uint32_t, char>& legend) {
  std::vector<std::string> rows;
  for (int y = 0; y < s.GetHeight(); ++y) {
    std::string row;
    for (int x = 0; x < s.GetWidth(); ++x) {
      uint32_t p = s.GetPixel(x, y);
      auto it = legend.find(p);
      row += p == 0 ? '.' : it == legend.end() ? '?' : it->second;
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace lumessa::test
