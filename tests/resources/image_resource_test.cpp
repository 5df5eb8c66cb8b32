#include "resources/image_resource.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "resource_test_support.h"
#include "resources/image_decode.h"
#include "support/image_fixtures.h"

namespace lumessa {
namespace {

using test::EncodeJpeg;
using test::EncodePng;
using test::Repeat;

int ChannelsOf(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB:
      return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return 4;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    default:
      return 1;
  }
}

// A sample that differs per pixel and channel, so that swapped channels, flipped rows or a lost
// interlace pass show. 16-bit samples carry low bits that make rounding differ from truncation.
uint16_t Sample(int x, int y, int channel, int bitDepth) {
  int v8 = (x * 37 + y * 61 + channel * 23 + 5) & 0xFF;
  if (bitDepth == 16) return uint16_t(v8 << 8 | ((x * 89 + channel * 50 + 0x7F) & 0xFF));
  return uint16_t(v8 & ((1 << bitDepth) - 1));
}

std::vector<uint16_t> Samples(int width, int height, int colorType, int bitDepth) {
  std::vector<uint16_t> samples;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < ChannelsOf(colorType); ++c) samples.push_back(Sample(x, y, c, bitDepth));
  return samples;
}

// 16-bit to 8-bit by rounding v * 255 / 65535 to the nearest.
uint32_t To8(uint16_t v, int bitDepth) {
  return bitDepth == 16 ? (uint32_t(v) * 255 + 32767) / 65535 : v;
}

std::string Decoded(const std::string& bytes, Ref<TSurface>& surface) {
  TMemoryStream stream(bytes);
  std::string error;
  surface = DecodePng(stream, error);
  return error;
}

// ---------------------------------------------------------------------------------------------
// PNG kinds

struct TPngKind {
  const char* name;
  int colorType;
  int bitDepth;
  bool interlace;
  bool accepted;
};
void PrintTo(const TPngKind& c, std::ostream* os) {
  *os << c.name;
}

const TPngKind kPngKinds[] = {
    {"rgb8", PNG_COLOR_TYPE_RGB, 8, false, true},
    {"rgba8", PNG_COLOR_TYPE_RGB_ALPHA, 8, false, true},
    {"rgb16", PNG_COLOR_TYPE_RGB, 16, false, true},
    {"rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16, false, true},
    {"rgb8_interlaced", PNG_COLOR_TYPE_RGB, 8, true, true},
    {"rgba16_interlaced", PNG_COLOR_TYPE_RGB_ALPHA, 16, true, true},
    {"palette8", PNG_COLOR_TYPE_PALETTE, 8, false, false},
    {"palette4", PNG_COLOR_TYPE_PALETTE, 4, false, false},
    {"grey8", PNG_COLOR_TYPE_GRAY, 8, false, false},
    {"grey_alpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false},
};

class PngKindTest : public testing::TestWithParam<TPngKind> {};

TEST_P(PngKindTest, OnlyTrueColourBecomesAnImage) {
  const TPngKind& k = GetParam();
  const int w = 7, h = 5;  // odd sizes leave partial interlace passes
  Ref<TSurface> surface;
  std::string error = Decoded(
      EncodePng(w, h, k.colorType, k.bitDepth, Samples(w, h, k.colorType, k.bitDepth), k.interlace),
      surface);
  if (!k.accepted) {
    EXPECT_FALSE(surface);
    EXPECT_NE(error, "");
    return;
  }
  ASSERT_TRUE(surface) << error;
  ASSERT_EQ(surface->GetWidth(), w);
  ASSERT_EQ(surface->GetHeight(), h);
  bool alpha = k.colorType == PNG_COLOR_TYPE_RGB_ALPHA;
  EXPECT_EQ(surface->GetHasAlpha(), alpha);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint32_t a = alpha ? To8(Sample(x, y, 3, k.bitDepth), k.bitDepth) : 255;
      uint32_t expected = a << 24 | To8(Sample(x, y, 0, k.bitDepth), k.bitDepth) << 16 |
                          To8(Sample(x, y, 1, k.bitDepth), k.bitDepth) << 8 |
                          To8(Sample(x, y, 2, k.bitDepth), k.bitDepth);
      ASSERT_EQ(surface->GetPixel(x, y), expected) << "at " << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, PngKindTest, testing::ValuesIn(kPngKinds),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Damaged PNG and JPEG files

struct TBadFile {
  std::string name;
  std::string bytes;
  std::string reason;  // a part of the error, where the reason matters
};
void PrintTo(const TBadFile& c, std::ostream* os) {
  *os << c.name;
}

std::vector<TBadFile> BadPngs() {
  const std::string good =
      EncodePng(8, 8, PNG_COLOR_TYPE_RGB, 8, Samples(8, 8, PNG_COLOR_TYPE_RGB, 8));
  size_t idat = good.find("IDAT");
  return {
      {"empty", "", ""},
      {"not_a_png", "GIF89a and then some more bytes", ""},
      {"signature_only", good.substr(0, 8), ""},
      {"cut_in_the_header", good.substr(0, 20), ""},
      {"cut_in_the_image_data", good.substr(0, idat + 12), ""},
      {"no_end_chunk", good.substr(0, good.size() - 12), ""},
      {"corrupt_image_data", test::WithCorruptPngData(good), ""},
      {"zero_width", test::WithPngSize(good, 0, 8), ""},
      {"wider_than_16384", test::WithPngSize(good, 16385, 8), ""},
      {"taller_than_16384", test::WithPngSize(good, 8, 16385), ""},
      {"too_many_pixels", test::WithPngSize(good, 16384, 16384), "beyond the limits"},
      // Refused before 64 MB of pixels are allocated for it.
      {"more_pixels_than_the_data_holds", test::WithPngSize(good, 4096, 4096), "too short"},
  };
}

std::vector<TBadFile> BadJpegs() {
  // A busy picture, so that most of the file is image data.
  std::vector<uint8_t> busy;
  for (int i = 0; i < 32 * 32 * 3; ++i) busy.push_back(uint8_t(i * 7 + (i / 96) * 13));
  const std::string good = EncodeJpeg(32, 32, 3, busy);
  const std::string progressive = EncodeJpeg(32, 32, 3, busy, true);
  return {
      {"empty", "", ""},
      {"not_a_jpeg", "\x89PNG and then some more bytes", ""},
      {"cut_in_half", good.substr(0, good.size() / 2), ""},
      {"progressive_cut_in_half", progressive.substr(0, progressive.size() / 2), ""},
      {"no_end_marker", good.substr(0, good.size() - 2), ""},
      // libjpeg only warns here and would fill the rest with grey.
      {"end_marker_amid_the_data", good.substr(0, good.size() - 400) + "\xFF\xD9", "premature end"},
      {"wider_than_16384", test::WithJpegSize(good, 16385, 32), "beyond the limits"},
      {"too_many_pixels", test::WithJpegSize(good, 16384, 16384), "beyond the limits"},
      {"more_pixels_than_the_data_holds", test::WithJpegSize(good, 4096, 4096), "too short"},
      {"cmyk", EncodeJpeg(16, 16, 4, Repeat({10, 20, 30, 40}, 16 * 16)), "CMYK"},
  };
}

class BadPngTest : public testing::TestWithParam<TBadFile> {};
class BadJpegTest : public testing::TestWithParam<TBadFile> {};

TEST_P(BadPngTest, GivesNoImageAndSaysWhy) {
  Ref<TSurface> surface;
  std::string error = Decoded(GetParam().bytes, surface);
  EXPECT_FALSE(surface);
  EXPECT_NE(error, "");
  EXPECT_NE(error.find(GetParam().reason), std::string::npos) << error;
}

TEST_P(BadJpegTest, GivesNoImageAndSaysWhy) {
  TMemoryStream stream(GetParam().bytes);
  std::string error;
  Ref<TSurface> surface = DecodeJpeg(stream, error);
  EXPECT_FALSE(surface);
  EXPECT_NE(error, "");
  EXPECT_NE(error.find(GetParam().reason), std::string::npos) << error;
}

auto BadFileName = [](const auto& info) { return info.param.name; };
INSTANTIATE_TEST_SUITE_P(Files, BadPngTest, testing::ValuesIn(BadPngs()), BadFileName);
INSTANTIATE_TEST_SUITE_P(Files, BadJpegTest, testing::ValuesIn(BadJpegs()), BadFileName);

// ---------------------------------------------------------------------------------------------
// JPEG

// Top half one colour, bottom half another, the halves on block boundaries so that both come
// back nearly exact; a swap of red and blue or of the halves shows.
struct TJpegKind {
  const char* name;
  int components;
  bool progressive;
};
void PrintTo(const TJpegKind& c, std::ostream* os) {
  *os << c.name;
}

class JpegKindTest : public testing::TestWithParam<TJpegKind> {};

TEST_P(JpegKindTest, DecodesOpaqueRgb) {
  const TJpegKind& k = GetParam();
  const int w = 32, h = 32;
  std::vector<uint8_t> top =
      k.components == 1 ? std::vector<uint8_t>{90} : std::vector<uint8_t>{200, 120, 40};
  std::vector<uint8_t> bottom =
      k.components == 1 ? std::vector<uint8_t>{220} : std::vector<uint8_t>{30, 160, 230};
  std::vector<uint8_t> samples = Repeat(top, w * h / 2);
  std::vector<uint8_t> rest = Repeat(bottom, w * h / 2);
  samples.insert(samples.end(), rest.begin(), rest.end());
  TMemoryStream stream(EncodeJpeg(w, h, k.components, samples, k.progressive));
  std::string error;
  Ref<TSurface> surface = DecodeJpeg(stream, error);
  ASSERT_TRUE(surface) << error;
  ASSERT_EQ(surface->GetWidth(), w);
  ASSERT_EQ(surface->GetHeight(), h);
  EXPECT_FALSE(surface->GetHasAlpha());
  auto expect = [&](int x, int y, const std::vector<uint8_t>& c) {
    uint32_t p = surface->GetPixel(x, y);
    uint8_t r = c[0], g = c.size() > 1 ? c[1] : c[0], b = c.size() > 1 ? c[2] : c[0];
    EXPECT_EQ(p >> 24, 255u);
    EXPECT_NEAR(int(p >> 16 & 0xFF), r, 4) << x << "," << y;
    EXPECT_NEAR(int(p >> 8 & 0xFF), g, 4) << x << "," << y;
    EXPECT_NEAR(int(p & 0xFF), b, 4) << x << "," << y;
  };
  for (int x : {0, 13, 31}) {
    expect(x, 2, top);
    expect(x, 29, bottom);
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, JpegKindTest,
                         testing::Values(TJpegKind{"rgb", 3, false},
                                         TJpegKind{"rgb_progressive", 3, true},
                                         TJpegKind{"grey", 1, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Image resources

using ImageResourceTest = test::ResourceTest;

std::string RgbaPng(int w, int h) {
  return EncodePng(w, h, PNG_COLOR_TYPE_RGB_ALPHA, 8, Samples(w, h, PNG_COLOR_TYPE_RGB_ALPHA, 8));
}

TEST_F(ImageResourceTest, LoadsAtOnceUnlessLoadedByDemand) {
  Write("img/now.png", RgbaPng(3, 2));
  Write("img/later.png", RgbaPng(4, 5));
  LoadResources(R"(<r><content>
      <resource name="now" type="ImageResource" file="img/now.png" format="png"/>
      <resource name="later" type="ImageResource" file="img/later.png" format="png"
                loadbydemand="yes"/>
    </content></r>)");
  EXPECT_EQ(owner_->opened, std::vector<std::string>{"img/now.png"});
  Ref<IImageResource> later = Get<IImageResource>("later");
  ASSERT_TRUE(later);
  Ref<ISurface> surface = later->GetSurface();
  ASSERT_TRUE(surface);
  EXPECT_EQ(surface->GetWidth(), 4);
  EXPECT_EQ(later->GetHeight(), 5);
  EXPECT_TRUE(surface->GetHasAlpha());
  // Decoded once: further calls use the surface.
  later->GetWidth();
  later->GetSurface();
  EXPECT_EQ(owner_->opened, (std::vector<std::string>{"img/now.png", "img/later.png"}));
}

TEST_F(ImageResourceTest, WidthAlsoLoadsAPendingImage) {
  Write("a.png", RgbaPng(6, 1));
  LoadResources(R"(<r><content>
      <resource name="a" type="ImageResource" file="a.png" format="png" loadbydemand="yes"/>
    </content></r>)");
  EXPECT_TRUE(owner_->opened.empty());
  EXPECT_EQ(Get<IImageResource>("a")->GetWidth(), 6);
}

TEST_F(ImageResourceTest, UnloadDropsTheSurfaceAndTheNextUseLoadsAgain) {
  Write("a.png", RgbaPng(2, 2));
  LoadResources(R"(<r><content>
      <resource name="a" type="ImageResource" file="a.png" format="png"/>
    </content></r>)");
  Ref<IImageResource> image = Get<IImageResource>("a");
  image->Unload();
  EXPECT_EQ(owner_->opened.size(), 1u);
  EXPECT_TRUE(image->GetSurface());
  EXPECT_EQ(owner_->opened.size(), 2u);
  // Released, the resource has no owner to load through any more.
  image->ReleaseResource();
  EXPECT_FALSE(image->GetSurface());
  EXPECT_EQ(image->GetWidth(), 0);
  EXPECT_EQ(owner_->opened.size(), 2u);
}

// Whatever fails, the resource is there without an image.
TEST_F(ImageResourceTest, UnreadableDataLeavesNoImage) {
  Write("palette.png", EncodePng(4, 4, PNG_COLOR_TYPE_PALETTE, 8, std::vector<uint16_t>(16, 3)));
  Write("rgb.png", RgbaPng(4, 4));
  Write("broken.jpg", "\xFF\xD8\xFF not really");
  LoadResources(R"(<r><content>
      <resource name="palette" type="ImageResource" file="palette.png" format="png"/>
      <resource name="missing" type="ImageResource" file="nowhere.png" format="png"/>
      <resource name="broken" type="ImageResource" file="broken.jpg" format="jpeg"/>
      <resource name="wrong_format" type="ImageResource" file="rgb.png" format="jpeg"/>
      <resource name="no_format" type="ImageResource" file="rgb.png"/>
    </content></r>)");
  for (const char* name : {"palette", "missing", "broken", "wrong_format", "no_format"}) {
    Ref<IImageResource> image = Get<IImageResource>(name);
    ASSERT_TRUE(image) << name;
    EXPECT_FALSE(image->GetSurface()) << name;
    EXPECT_EQ(image->GetWidth(), 0) << name;
    EXPECT_EQ(image->GetHeight(), 0) << name;
  }
  // "unknown" loads nothing, so it does not even open its file.
  EXPECT_EQ(std::count(owner_->opened.begin(), owner_->opened.end(), "rgb.png"), 1);
}

// ---------------------------------------------------------------------------------------------
// jpng: a JPEG's colour with a greyscale PNG's alpha

std::vector<uint16_t> MaskValues(int w, int h, int bitDepth) {
  std::vector<uint16_t> v;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) v.push_back(uint16_t((x * 16 + y * 3) % (1 << bitDepth)));
  return v;
}

struct TMaskKind {
  const char* name;
  int bitDepth;
};
void PrintTo(const TMaskKind& c, std::ostream* os) {
  *os << c.name;
}

class JpngMaskTest : public test::ResourceTest, public testing::WithParamInterface<TMaskKind> {};

TEST_P(JpngMaskTest, AlphaComesFromTheGreyPng) {
  const int w = 16, h = 16, depth = GetParam().bitDepth;
  std::vector<uint16_t> mask = MaskValues(w, h, depth);
  Write("img/pic.jpg", EncodeJpeg(w, h, 3, Repeat({200, 120, 40}, w * h)));
  Write("img/pic.png", EncodePng(w, h, PNG_COLOR_TYPE_GRAY, depth, mask));
  LoadResources(R"(<r><content>
      <resource name="pic" type="ImageResource" file="img/pic.png" format="jpng"/>
    </content></r>)");
  Ref<ISurface> surface = Get<IImageResource>("pic")->GetSurface();
  ASSERT_TRUE(surface);
  EXPECT_TRUE(surface->GetHasAlpha());
  int maxValue = (1 << depth) - 1;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint32_t p = surface->GetPixel(x, y);
      // Widened low-depth values: 1 bit gives 0 or 255.
      ASSERT_EQ(p >> 24, uint32_t(mask[size_t(y * w + x)] * 255 / maxValue)) << x << "," << y;
      ASSERT_NEAR(int(p >> 16 & 0xFF), 200, 3);
      ASSERT_NEAR(int(p & 0xFF), 40, 3);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, JpngMaskTest,
                         testing::Values(TMaskKind{"grey8", 8}, TMaskKind{"grey1", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// Both halves must load, and fit each other.
struct TBrokenPair {
  const char* name;
  bool jpeg;          // the JPEG is there
  int maskColorType;  // -1: no mask file
  int maskWidth;
};
void PrintTo(const TBrokenPair& c, std::ostream* os) {
  *os << c.name;
}

class JpngPairTest : public test::ResourceTest, public testing::WithParamInterface<TBrokenPair> {};

TEST_P(JpngPairTest, GivesNoImage) {
  const TBrokenPair& c = GetParam();
  if (c.jpeg) Write("pic.jpg", EncodeJpeg(8, 8, 3, Repeat({1, 2, 3}, 64)));
  if (c.maskColorType >= 0) {
    Write("pic.png", EncodePng(c.maskWidth, 8, c.maskColorType, 8,
                               std::vector<uint16_t>(size_t(c.maskWidth * 8 * 4), 7)));
  }
  LoadResources(R"(<r><content>
      <resource name="pic" type="ImageResource" file="pic.png" format="jpng"/>
    </content></r>)");
  EXPECT_FALSE(Get<IImageResource>("pic")->GetSurface());
  EXPECT_EQ(Get<IImageResource>("pic")->GetWidth(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, JpngPairTest,
    testing::Values(TBrokenPair{"no_jpeg", false, PNG_COLOR_TYPE_GRAY, 8},
                    TBrokenPair{"no_mask", true, -1, 8},
                    TBrokenPair{"rgb_mask", true, PNG_COLOR_TYPE_RGB, 8},
                    TBrokenPair{"grey_alpha_mask", true, PNG_COLOR_TYPE_GRAY_ALPHA, 8},
                    TBrokenPair{"mask_of_another_size", true, PNG_COLOR_TYPE_GRAY, 9}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

TEST_F(ImageResourceTest, SavesFileAlwaysAndTheRestWhenNotDefault) {
  struct TCase {
    const char* xml;
    std::vector<std::pair<std::string, std::string>> attributes;
  } cases[] = {
      {R"(<resource name="a" type="ImageResource"/>)",
       {{"name", "a"}, {"type", "ImageResource"}, {"file", ""}}},
      {R"(<resource name="b" type="ImageResource" file="b.jpg" format="jpeg"
                    loadbydemand="yes"/>)",
       {{"name", "b"},
        {"type", "ImageResource"},
        {"file", "b.jpg"},
        {"loadbydemand", "yes"},
        {"format", "jpeg"}}},
  };
  for (const TCase& c : cases) {
    Ref<TAbstractObject> object = CreateFromNode(LoadStorageFromText(c.xml));
    Ref<IHierStorage> out = Query<IHierStorage>(CreateStorage("resource"));
    SaveObject(Ref<IInterface>(object), out);
    std::vector<std::pair<std::string, std::string>> written;
    for (int i = 0; i < out->GetValueCount(); ++i)
      written.emplace_back(out->GetValueName(i), out->ReadValueAt(i, "").ToString());
    EXPECT_EQ(written, c.attributes) << c.xml;
  }
}

}  // namespace
}  // namespace lumessa
