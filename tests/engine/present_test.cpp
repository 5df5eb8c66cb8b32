#include "engine/present.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace lumessa {
namespace {

TEST(PresentTest, PixelFormatFromMasks) {
  TPixelFormat f = TPixelFormat::FromMasks(16, 0xF800, 0x07E0, 0x001F);
  EXPECT_EQ(f.red.shift, 11);
  EXPECT_EQ(f.red.bits, 5);
  EXPECT_EQ(f.green.shift, 5);
  EXPECT_EQ(f.green.bits, 6);
  EXPECT_EQ(f.blue.shift, 0);
  EXPECT_EQ(f.blue.bits, 5);
  TPixelFormat none = TPixelFormat::FromMasks(32, 0, 0, 0);
  EXPECT_EQ(none.red.shift, 255);
  EXPECT_EQ(none.red.bits, 0);
  EXPECT_TRUE(TPixelFormat::FromMasks(32, 0xFF0000, 0xFF00, 0xFF).IsStandard());
  EXPECT_FALSE(TPixelFormat::FromMasks(32, 0xFF, 0xFF00, 0xFF0000).IsStandard());
}

TEST(PresentTest, ConvertColorReducesEachChannelToItsWidth) {
  struct Case {
    uint32_t red, green, blue, rgb, expected;
  };
  const Case cases[] = {
      {0xF800, 0x07E0, 0x001F, 0xFFFFFF, 0xFFFF},
      {0xF800, 0x07E0, 0x001F, 0x808080, (0x10u << 11) | (0x20u << 5) | 0x10u},
      {0x7C00, 0x03E0, 0x001F, 0xFF0000, 0x7C00},          // 15 bits
      {0x0000FF, 0x00FF00, 0xFF0000, 0x123456, 0x563412},  // BGR order
      {0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0x123456},
  };
  for (const Case& c : cases) {
    TPixelFormat f = TPixelFormat::FromMasks(32, c.red, c.green, c.blue);
    EXPECT_EQ(ConvertColor(f, c.rgb), c.expected) << std::hex << c.rgb;
  }
}

TEST(PresentTest, PresentsEveryDepthAndRefusesOthers) {
  Ref<TSurface> s = MakeSurface(2, 2, false);
  s->SetPixel(0, 0, 0xFF123456);
  s->SetPixel(1, 1, 0xFFFFFFFF);

  std::vector<uint8_t> bytes(64, 0xEE);
  TBackBuffer b{bytes.data(), 16, 2, 2, 32, 0xFF0000, 0xFF00, 0xFF};
  ASSERT_TRUE(PresentSurface(*s, b));
  uint32_t px;
  std::memcpy(&px, bytes.data(), 4);
  EXPECT_EQ(px & 0xFFFFFF, 0x123456u);
  EXPECT_EQ(bytes[8], 0xEE);  // the pitch's padding is left alone

  std::fill(bytes.begin(), bytes.end(), 0);
  b = {bytes.data(), 8, 2, 2, 24, 0xFF0000, 0xFF00, 0xFF};
  ASSERT_TRUE(PresentSurface(*s, b));
  EXPECT_EQ(bytes[0], 0x56);
  EXPECT_EQ(bytes[1], 0x34);
  EXPECT_EQ(bytes[2], 0x12);
  EXPECT_EQ(bytes[8 + 3], 0xFF);

  b = {bytes.data(), 4, 2, 2, 16, 0xF800, 0x07E0, 0x001F};
  ASSERT_TRUE(PresentSurface(*s, b));
  uint16_t p16;
  std::memcpy(&p16, bytes.data() + 4 + 2, 2);
  EXPECT_EQ(p16, 0xFFFF);

  b.bitsPerPixel = 8;
  EXPECT_FALSE(PresentSurface(*s, b));
  b = {bytes.data(), 16, 1, 2, 32, 0xFF0000, 0xFF00, 0xFF};
  EXPECT_FALSE(PresentSurface(*s, b));  // smaller than the surface
}

}  // namespace
}  // namespace lumessa
