// The only contract between the engine and the operating system.
//
// The engine above this layer is written against the messages a desktop window sends (mouse,
// keys, characters, focus, close, minimise) and a back buffer it converts the screen surface
// into. Two backends implement the contract, chosen at run time by CreatePlatform:
//   sdl/        a real window, input and audio device through SDL2
//   headless/   no devices; a virtual clock, messages only from the caller, an off-screen buffer
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/geometry.h"

namespace lumessa {

// ---------------------------------------------------------------------------------------------
// Message codes, as a desktop window sends them.

inline constexpr uint32_t WM_DESTROY = 0x0002;
inline constexpr uint32_t WM_SETFOCUS = 0x0007;
inline constexpr uint32_t WM_KILLFOCUS = 0x0008;
inline constexpr uint32_t WM_CLOSE = 0x0010;
inline constexpr uint32_t WM_QUIT = 0x0012;
inline constexpr uint32_t WM_NCHITTEST = 0x0084;
inline constexpr uint32_t WM_KEYDOWN = 0x0100;
inline constexpr uint32_t WM_KEYUP = 0x0101;
inline constexpr uint32_t WM_CHAR = 0x0102;
inline constexpr uint32_t WM_SYSCOMMAND = 0x0112;
inline constexpr uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr uint32_t WM_LBUTTONDBLCLK = 0x0203;
inline constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr uint32_t WM_RBUTTONDBLCLK = 0x0206;
inline constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
inline constexpr uint32_t WM_MBUTTONUP = 0x0208;
inline constexpr uint32_t WM_MBUTTONDBLCLK = 0x0209;

// WM_SYSCOMMAND commands (wParam & 0xFFF0).
inline constexpr uint32_t SC_MINIMIZE = 0xF020;
inline constexpr uint32_t SC_KEYMENU = 0xF100;
inline constexpr uint32_t SC_RESTORE = 0xF120;

// WM_NCHITTEST answers: the backend sends the answer in wParam.
inline constexpr uint32_t HTNOWHERE = 0;
inline constexpr uint32_t HTCLIENT = 1;

// Mouse key flags in wParam of mouse messages.
inline constexpr uint32_t MK_LBUTTON = 0x0001;
inline constexpr uint32_t MK_RBUTTON = 0x0002;
inline constexpr uint32_t MK_SHIFT = 0x0004;
inline constexpr uint32_t MK_CONTROL = 0x0008;
inline constexpr uint32_t MK_MBUTTON = 0x0010;

// Key data bit 29 of a character message: the Alt key was down.
inline constexpr uint32_t kAltContextBit = 0x20000000;

// Virtual key codes (letters and digits are their upper-case ASCII codes).
inline constexpr uint32_t VK_BACK = 8;
inline constexpr uint32_t VK_TAB = 9;
inline constexpr uint32_t VK_RETURN = 13;
inline constexpr uint32_t VK_SHIFT = 16;
inline constexpr uint32_t VK_CONTROL = 17;
inline constexpr uint32_t VK_MENU = 18;  // Alt
inline constexpr uint32_t VK_PAUSE = 19;
inline constexpr uint32_t VK_ESCAPE = 27;
inline constexpr uint32_t VK_SPACE = 32;
inline constexpr uint32_t VK_PRIOR = 33;
inline constexpr uint32_t VK_NEXT = 34;
inline constexpr uint32_t VK_END = 35;
inline constexpr uint32_t VK_HOME = 36;
inline constexpr uint32_t VK_LEFT = 37;
inline constexpr uint32_t VK_UP = 38;
inline constexpr uint32_t VK_RIGHT = 39;
inline constexpr uint32_t VK_DOWN = 40;
inline constexpr uint32_t VK_INSERT = 45;
inline constexpr uint32_t VK_DELETE = 46;
inline constexpr uint32_t VK_F1 = 112;  // F1..F12 are 112..123

struct TMessage {
  uint32_t message = 0;
  uint32_t wParam = 0;
  uint32_t lParam = 0;
};

// Packs a client position the way mouse messages carry it (low word x, high word y).
constexpr uint32_t MakePointParam(int x, int y) {
  return (uint32_t(y) & 0xFFFF) << 16 | (uint32_t(x) & 0xFFFF);
}

// The 32-bit buffer frames are presented through; the engine converts the screen surface into
// it. Pixel layout by masks, as the display reports it.
struct TBackBuffer {
  uint8_t* bits = nullptr;
  int pitch = 0;  // bytes per row
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  uint32_t redMask = 0, greenMask = 0, blueMask = 0;
};

enum class TPlatformKind { Sdl, Headless };

class IPlatform {
 public:
  virtual ~IPlatform() = default;
  virtual TPlatformKind Kind() const = 0;

  // Window and display. CreateWindow makes a hidden window; SetDisplayMode shows it at the
  // given client size, windowed or desktop full screen (the picture scaled and letter-boxed).
  virtual bool CreateWindow(std::string_view caption) = 0;
  virtual bool SetDisplayMode(int width, int height, bool fullScreen) = 0;
  virtual void SetCaption(std::string_view utf8) = 0;
  // 32-bit 0xAARRGGBB pixels, rows top to bottom.
  virtual void SetIcon(const uint32_t* pixels, int width, int height) = 0;
  virtual void Minimize() = 0;
  virtual void DestroyWindow() = 0;
  // Colour depth of the desktop.
  virtual int DesktopBitsPerPixel() const = 0;

  // Presenting: lock, convert into the buffer, then flip it to the screen.
  virtual bool LockBackBuffer(TBackBuffer& buffer) = 0;
  virtual void UnlockBackBuffer() = 0;
  virtual bool Flip() = 0;

  // Messages. PeekMessage removes the next waiting message; WaitMessage blocks until one is
  // waiting (headless: returns at once).
  virtual bool PeekMessage(TMessage& message) = 0;
  virtual void WaitMessage() = 0;
  virtual void PostMessage(const TMessage& message) = 0;

  // Mouse position in client coordinates; system cursor visibility.
  virtual TPoint GetCursorPos() const = 0;
  virtual void SetCursorPos(TPoint p) = 0;
  virtual void ShowSystemCursor(bool show) = 0;

  // Milliseconds (wrapping 32-bit), and sleeping.
  virtual uint32_t Now() = 0;
  virtual void Sleep(uint32_t ms) = 0;

  virtual std::string GetClipboardText() = 0;
  // Asks the desktop to open an address or a document; false when it could not be started.
  virtual bool OpenUrl(std::string_view url) = 0;
};

// The backend table.
std::unique_ptr<IPlatform> CreatePlatform(TPlatformKind kind);

// Starts `xdg-open target` without a shell and without waiting for it.
bool LaunchDesktopOpener(std::string_view target);

// The per-user data folder root: $XDG_DATA_HOME, else ~/.local/share (no trailing "/").
std::string UserDataHome();

}  // namespace lumessa
