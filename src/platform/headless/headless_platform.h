// The headless backend: no window and no devices. Time is virtual (it moves only when the
// engine sleeps), messages come only from PostMessage, and frames are presented into an
// off-screen buffer, so runs are exactly repeatable.
#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "platform/platform.h"

namespace lumessa {

class THeadlessPlatform : public IPlatform {
 public:
  TPlatformKind Kind() const override { return TPlatformKind::Headless; }

  bool CreateWindow(std::string_view caption) override;
  bool SetDisplayMode(int width, int height, bool fullScreen) override;
  void SetCaption(std::string_view utf8) override { caption_ = utf8; }
  void SetIcon(const uint32_t*, int, int) override {}
  void Minimize() override {}
  void DestroyWindow() override { windowExists_ = false; }
  int DesktopBitsPerPixel() const override { return 32; }

  bool LockBackBuffer(TBackBuffer& buffer) override;
  void UnlockBackBuffer() override {}
  bool Flip() override { return windowExists_; }

  bool PeekMessage(TMessage& message) override;
  void WaitMessage() override {}
  void PostMessage(const TMessage& message) override { queue_.push_back(message); }

  TPoint GetCursorPos() const override { return cursor_; }
  void SetCursorPos(TPoint p) override { cursor_ = p; }
  void ShowSystemCursor(bool show) override { cursorShown_ = show; }

  uint32_t Now() override { return now_; }
  void Sleep(uint32_t ms) override { now_ += ms; }

  std::string GetClipboardText() override { return clipboard_; }
  bool OpenUrl(std::string_view url) override;

  // For tests and scripts.
  void SetClipboardText(std::string text) { clipboard_ = std::move(text); }
  const std::string& Caption() const { return caption_; }
  bool FullScreen() const { return fullScreen_; }
  bool SystemCursorShown() const { return cursorShown_; }
  // The last presented picture, 0x00RRGGBB rows of width pixels.
  const std::vector<uint32_t>& FrontBuffer() const { return buffer_; }

 private:
  std::deque<TMessage> queue_;
  std::vector<uint32_t> buffer_;
  std::string caption_;
  std::string clipboard_;
  TPoint cursor_{-1, -1};  // outside the screen until something moves the mouse
  uint32_t now_ = 0;
  int width_ = 0;
  int height_ = 0;
  bool windowExists_ = false;
  bool fullScreen_ = false;
  bool cursorShown_ = true;
};

}  // namespace lumessa
