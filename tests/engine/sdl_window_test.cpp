// The real window: run under a display (the test command starts Xvfb for it).
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/present.h"
#include "engine/surface.h"
#include "platform/platform.h"

namespace lumessa {
namespace {

TEST(SdlWindowTest, OpensPresentsFramesAndClosesOnRequest) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
  std::unique_ptr<IPlatform> p = CreatePlatform(TPlatformKind::Sdl);
  ASSERT_TRUE(p->CreateWindow("lumessa test"));
  ASSERT_TRUE(p->SetDisplayMode(320, 240, false));
  p->SetCaption("lumessa \xE2\x80\x94 test");

  Ref<TSurface> screen = MakeSurface(320, 240, false);
  for (int frame = 0; frame < 5; ++frame) {
    TRect all{0, 0, 320, 240};
    Ref<TSurface> mask = MakeSurface(1, 1, false);
    screen->DrawColor(0xFF000000u | uint32_t(frame * 40) << 8, mask.get(), bmNormal, 255, all, all);
    TBackBuffer buffer;
    ASSERT_TRUE(p->LockBackBuffer(buffer));
    EXPECT_GE(buffer.width, 320);
    ASSERT_TRUE(PresentSurface(*screen, buffer));
    p->UnlockBackBuffer();
    EXPECT_TRUE(p->Flip());
    TMessage m;
    while (p->PeekMessage(m)) {
    }
    p->Sleep(10);
  }

  // A close request comes back as WM_CLOSE, which the engine may refuse.
  p->PostMessage({WM_CLOSE, 0, 0});
  TMessage m;
  bool sawClose = false;
  while (p->PeekMessage(m)) sawClose |= m.message == WM_CLOSE;
  EXPECT_TRUE(sawClose);

  // Full screen is the desktop's size with the picture letter-boxed; positions map back.
  ASSERT_TRUE(p->SetDisplayMode(320, 240, true));
  TBackBuffer buffer;
  ASSERT_TRUE(p->LockBackBuffer(buffer));
  EXPECT_EQ(buffer.width, 320);
  p->UnlockBackBuffer();
  EXPECT_TRUE(p->Flip());
  p->DestroyWindow();
}

}  // namespace
}  // namespace lumessa
