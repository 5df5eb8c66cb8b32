// The benchmark's screen as a test: frame after frame, drawing only what the dirty pass
// invalidated must give exactly the picture a full redraw gives.
#include <gtest/gtest.h>

#include <cstring>

#include "widget_scene.h"

namespace lumessa {
namespace {

using test::TWidgetScene;

bool SamePicture(const TSurface& a, const TSurface& b) {
  return std::memcmp(a.Bits(), b.Bits(), size_t(a.GetWidth()) * size_t(a.GetHeight()) * 4) == 0;
}

TEST(WidgetScene, DrawingTheInvalidatedAreaGivesTheSamePictureAsARedrawOfEverything) {
  TWidgetScene dirty;
  TWidgetScene full;
  EXPECT_EQ(dirty.WidgetCount(), 512);
  for (int frame = 0; frame < 200; ++frame) {
    SCOPED_TRACE(frame);
    dirty.MoveSome(5);
    dirty.Step(10);
    EXPECT_TRUE(dirty.DrawDirty());
    full.MoveSome(5);
    full.Step(10);
    full.DrawAll();
    if (frame % 25 == 0 || frame == 199) {
      ASSERT_TRUE(SamePicture(*dirty.surface, *full.surface));
    }
  }
  dirty.Step(10);
  EXPECT_FALSE(dirty.DrawDirty()) << "a frame in which nothing changed draws nothing";
}

}  // namespace
}  // namespace lumessa
