// The SDL2 backend (see sdl_platform.cpp).
#pragma once

#include <memory>

#include "platform/platform.h"

union SDL_Event;

namespace lumessa {

class TSdlPlatform : public IPlatform {
 public:
  TSdlPlatform();
  ~TSdlPlatform() override;
  TPlatformKind Kind() const override { return TPlatformKind::Sdl; }

  bool CreateWindow(std::string_view caption) override;
  bool SetDisplayMode(int width, int height, bool fullScreen) override;
  void SetCaption(std::string_view utf8) override;
  void SetIcon(const uint32_t* pixels, int width, int height) override;
  void Minimize() override;
  void DestroyWindow() override;
  int DesktopBitsPerPixel() const override;

  bool LockBackBuffer(TBackBuffer& buffer) override;
  void UnlockBackBuffer() override;
  bool Flip() override;

  bool PeekMessage(TMessage& message) override;
  void WaitMessage() override;
  void PostMessage(const TMessage& message) override;

  TPoint GetCursorPos() const override;
  void SetCursorPos(TPoint p) override;
  void ShowSystemCursor(bool show) override;

  uint32_t Now() override;
  void Sleep(uint32_t ms) override;

  std::string GetClipboardText() override;
  bool OpenUrl(std::string_view url) override;

 private:
  struct TState;
  void Translate(const SDL_Event& e);
  void UpdateView();
  bool ToGame(int wx, int wy, TPoint& p) const;

  std::unique_ptr<TState> s_;
  bool initialized_ = false;
};

}  // namespace lumessa
