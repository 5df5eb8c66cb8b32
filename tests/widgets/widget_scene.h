// A full screen of widgets, run by a test (drawing only the invalidated area must give the same
// picture as drawing everything) and by the widget benchmark (what that saves).
//
// 800 x 600: an opaque background image, then 10 groups of 5 groups of 9 leaves (images with
// alpha and text widgets), 512 widgets in all, three levels deep. Each frame MoveSome moves a
// few leaves a little, back and forth.
#pragma once

#include <string>
#include <vector>

#include "widget_fakes.h"
#include "widgets/widget_group.h"

namespace lumessa::test {

class TWidgetScene {
 public:
  static constexpr int kWidth = 800;
  static constexpr int kHeight = 600;

  TWidgetScene() {
    EnsureWidgetClasses();
    AddResources();
    Ref<IHierStorage> xml = LoadStorageFromText(SceneXml());
    Ref<IWidget> root = Query<IWidget>(CreateFromNode(xml));
    screen->SetRoot(root);
    CollectLeaves(*root, 0);
    screen->invalidated.reserve(256);
  }
  ~TWidgetScene() { screen->ReleaseTree(); }
  TWidgetScene(const TWidgetScene&) = delete;
  TWidgetScene& operator=(const TWidgetScene&) = delete;

  // Moves `count` leaves by 3 pixels, the next ones each time; each goes back on its next turn.
  void MoveSome(int count) {
    for (int i = 0; i < count; ++i) {
      const size_t index = cursor_ % leaves_.size();
      const double dx = (cursor_ / leaves_.size()) % 2 == 0 ? 3 : -3;
      ++cursor_;
      IWidget& leaf = *leaves_[index];
      leaf.SetAnchorLeft(leaf.GetAnchorLeft() + dx);
    }
  }
  // The frame's time step and dirty pass, as the game screen runs them.
  void Step(int dt) {
    screen->root->AdvanceTime(dt);
    screen->root->UpdateDirty(false, false);
  }
  // Draws the tree clipped to the area invalidated since the last draw; false (and no drawing
  // at all) when nothing was invalidated.
  bool DrawDirty() {
    surface->ClearDirtyRects();
    for (const TRect& r : screen->invalidated)
      surface->AddDirtyRect(r.Intersect({0, 0, kWidth, kHeight}));
    screen->invalidated.clear();
    if (surface->GetDirtyRects().IsEmpty()) return false;
    screen->root->Draw(surface.get(), 0, 0);
    return true;
  }
  // Draws the whole tree, whatever changed.
  void DrawAll() {
    screen->invalidated.clear();
    surface->ClearDirtyRects();
    screen->root->Draw(surface.get(), 0, 0);
  }
  int WidgetCount() const { return CountWidgets(*screen->root); }

  Ref<TTestScreen> screen = NewObject<TTestScreen>();
  Ref<TSurface> surface = MakeSurface(kWidth, kHeight);

 private:
  void AddResources() {
    Ref<TSurface> background = MakeSurface(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        background->SetPixel(x, y,
                             0xFF000000u | uint32_t(x * 255 / kWidth) << 16 |
                                 uint32_t(y * 255 / kHeight) << 8 | 0x40u);
    screen->engine->AddResource("background", MakeRef<TFakeImage>(background));

    // A round sprite: opaque inside, soft at the rim, transparent in the corners.
    Ref<TSurface> sprite = MakeSurface(16, 16, true);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const int d2 = (2 * x - 15) * (2 * x - 15) + (2 * y - 15) * (2 * y - 15);
        const uint32_t alpha = d2 < 150 ? 255 : d2 < 225 ? 128 : 0;
        sprite->SetPixel(x, y, alpha << 24 | 0x00E0A020u);
      }
    screen->engine->AddResource("sprite", MakeRef<TFakeImage>(sprite));

    Ref<TFakeFont> font = MakeRef<TFakeFont>(12, 0xFFFFFFF0u);
    for (char c = '0'; c <= '9'; ++c) font->AddGlyph(c, 6, 10);
    font->AddGlyph('x', 6, 8);
    screen->engine->AddResource("font", font);
  }

  static std::string SceneXml() {
    std::string xml = R"(<widget type="group_widget" name="screen" visible="yes" mousestop="yes">
      <widgets>
        <widget type="image_widget" name="background" visible="yes" z="-1"
                resourcename="background" width="800" height="600"/>)";
    for (int a = 0; a < 10; ++a) {
      xml += "<widget type=\"group_widget\" visible=\"yes\" anchor_left=\"" +
             std::to_string(a % 5 * 160 + 4) + "\" anchor_top=\"" + std::to_string(a / 5 * 300) +
             "\"><widgets>";
      for (int b = 0; b < 5; ++b) {
        xml += "<widget type=\"group_widget\" visible=\"yes\" anchor_top=\"" +
               std::to_string(b * 60 + 10) + "\"><widgets>";
        for (int k = 0; k < 9; ++k) {
          const std::string left = std::to_string(k * 17);
          if (k % 2 == 0)
            xml +=
                "<widget type=\"image_widget\" visible=\"yes\" resourcename=\"sprite\" "
                "width=\"16\" height=\"16\" anchor_left=\"" +
                left + "\"/>";
          else
            xml +=
                "<widget type=\"text_widget\" visible=\"yes\" resourcename=\"font\" "
                "width=\"40\" height=\"12\" anchor_top=\"20\" anchor_left=\"" +
                left + "\" text=\"x" + std::to_string(a * 100 + b * 10 + k) + "\"/>";
        }
        xml += "</widgets></widget>";
      }
      xml += "</widgets></widget>";
    }
    return xml + "</widgets></widget>";
  }

  void CollectLeaves(IWidget& w, int depth) {
    Ref<IWidgetCollection> children = w.GetChildren();
    if (!children) {
      if (depth > 1) leaves_.push_back(Ref<IWidget>(&w));
      return;
    }
    for (int i = 0; i < children->Count(); ++i) CollectLeaves(*children->GetByIndex(i), depth + 1);
  }

  static int CountWidgets(IWidget& w) {
    int n = 1;
    if (Ref<IWidgetCollection> children = w.GetChildren())
      for (int i = 0; i < children->Count(); ++i) n += CountWidgets(*children->GetByIndex(i));
    return n;
  }

  std::vector<Ref<IWidget>> leaves_;
  size_t cursor_ = 0;
};

}  // namespace lumessa::test
