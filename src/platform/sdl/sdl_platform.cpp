// The SDL2 backend: a real window, its input as desktop window messages, and presentation of
// the 32-bit screen through the window surface (no GPU texture: with framebuffer acceleration
// off, copying rows into the window surface is the cheapest path SDL offers).
#include "platform/sdl/sdl_platform.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <deque>

#include "engine/log.h"

namespace lumessa {

namespace {

uint32_t VirtualKey(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return uint32_t('A' + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return uint32_t(key);
  if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + uint32_t(key - SDLK_F1);
  switch (key) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return VK_RETURN;
    case SDLK_ESCAPE:
      return VK_ESCAPE;
    case SDLK_TAB:
      return VK_TAB;
    case SDLK_BACKSPACE:
      return VK_BACK;
    case SDLK_DELETE:
      return VK_DELETE;
    case SDLK_INSERT:
      return VK_INSERT;
    case SDLK_SPACE:
      return VK_SPACE;
    case SDLK_LEFT:
      return VK_LEFT;
    case SDLK_UP:
      return VK_UP;
    case SDLK_RIGHT:
      return VK_RIGHT;
    case SDLK_DOWN:
      return VK_DOWN;
    case SDLK_HOME:
      return VK_HOME;
    case SDLK_END:
      return VK_END;
    case SDLK_PAGEUP:
      return VK_PRIOR;
    case SDLK_PAGEDOWN:
      return VK_NEXT;
    case SDLK_PAUSE:
      return VK_PAUSE;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
      return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
      return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT:
      return VK_MENU;
    default:
      return 0;
  }
}

// Keys for which a desktop window also sends a character message.
uint32_t ControlCharacter(uint32_t vk) {
  switch (vk) {
    case VK_RETURN:
    case VK_ESCAPE:
    case VK_TAB:
    case VK_BACK:
      return vk;
    default:
      return 0;
  }
}

uint32_t KeyFlags() {
  uint32_t flags = 0;
  uint32_t buttons = SDL_GetMouseState(nullptr, nullptr);
  if (buttons & SDL_BUTTON_LMASK) flags |= MK_LBUTTON;
  if (buttons & SDL_BUTTON_RMASK) flags |= MK_RBUTTON;
  if (buttons & SDL_BUTTON_MMASK) flags |= MK_MBUTTON;
  SDL_Keymod mod = SDL_GetModState();
  if (mod & KMOD_SHIFT) flags |= MK_SHIFT;
  if (mod & KMOD_CTRL) flags |= MK_CONTROL;
  return flags;
}

// Appends the UTF-16 code units of UTF-8 text.
void AppendUtf16(const char* utf8, std::deque<uint32_t>& units) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8);
  while (*s) {
    uint32_t cp;
    int extra;
    if (*s < 0x80) {
      cp = *s;
      extra = 0;
    } else if ((*s & 0xE0) == 0xC0) {
      cp = *s & 0x1F;
      extra = 1;
    } else if ((*s & 0xF0) == 0xE0) {
      cp = *s & 0x0F;
      extra = 2;
    } else if ((*s & 0xF8) == 0xF0) {
      cp = *s & 0x07;
      extra = 3;
    } else {
      ++s;
      continue;
    }
    ++s;
    for (int i = 0; i < extra; ++i, ++s) {
      if ((*s & 0xC0) != 0x80) break;
      cp = cp << 6 | (*s & 0x3F);
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      units.push_back(0xD800 + (cp >> 10));
      units.push_back(0xDC00 + (cp & 0x3FF));
    } else {
      units.push_back(cp);
    }
  }
}

}  // namespace

struct TSdlPlatform::TState {
  SDL_Window* window = nullptr;
  SDL_Surface* staging = nullptr;  // the picture at game size when it must be scaled
  std::deque<TMessage> queue;
  int width = 0;
  int height = 0;
  bool fullScreen = false;
  SDL_Rect view{0, 0, 0, 0};  // where the game picture lies in the window
  bool locked = false;
};

TSdlPlatform::TSdlPlatform() : s_(std::make_unique<TState>()) {}

TSdlPlatform::~TSdlPlatform() {
  DestroyWindow();
  if (initialized_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool TSdlPlatform::CreateWindow(std::string_view caption) {
  if (!initialized_) {
    // Must be set before video init: otherwise every path goes through a GL texture.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      Log("no display: %s", SDL_GetError());
      return false;
    }
    initialized_ = true;
  }
  std::string title(caption);
  s_->window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 1, 1,
                                SDL_WINDOW_HIDDEN);
  if (!s_->window) {
    Log("cannot create the window: %s", SDL_GetError());
    return false;
  }
  SDL_StartTextInput();
  return true;
}

bool TSdlPlatform::SetDisplayMode(int width, int height, bool fullScreen) {
  if (!s_->window || width <= 0 || height <= 0) return false;
  s_->width = width;
  s_->height = height;
  s_->fullScreen = fullScreen;
  if (fullScreen) {
    if (SDL_SetWindowFullscreen(s_->window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
      Log("full screen failed: %s", SDL_GetError());
      return false;
    }
  } else {
    SDL_SetWindowFullscreen(s_->window, 0);
    SDL_SetWindowSize(s_->window, width, height);
    SDL_SetWindowPosition(s_->window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
  }
  SDL_ShowWindow(s_->window);
  SDL_RaiseWindow(s_->window);
  UpdateView();
  return true;
}

void TSdlPlatform::UpdateView() {
  int ww = 0, wh = 0;
  SDL_GetWindowSize(s_->window, &ww, &wh);
  if (ww == s_->width && wh == s_->height) {
    s_->view = {0, 0, ww, wh};
  } else {
    // Scaled to fit, aspect kept, centred between bars.
    double scale = std::min(double(ww) / s_->width, double(wh) / s_->height);
    int w = std::max(1, int(s_->width * scale));
    int h = std::max(1, int(s_->height * scale));
    s_->view = {(ww - w) / 2, (wh - h) / 2, w, h};
  }
  bool scaled = s_->view.w != s_->width || s_->view.h != s_->height;
  if (scaled && !s_->staging) {
    s_->staging =
        SDL_CreateRGBSurfaceWithFormat(0, s_->width, s_->height, 32, SDL_PIXELFORMAT_RGB888);
    if (s_->staging) SDL_SetSurfaceBlendMode(s_->staging, SDL_BLENDMODE_NONE);
  } else if (!scaled && s_->staging) {
    SDL_FreeSurface(s_->staging);
    s_->staging = nullptr;
  }
  if (s_->staging && (s_->staging->w != s_->width || s_->staging->h != s_->height)) {
    SDL_FreeSurface(s_->staging);
    s_->staging = nullptr;
    UpdateView();
  }
}

void TSdlPlatform::SetCaption(std::string_view utf8) {
  if (s_->window) SDL_SetWindowTitle(s_->window, std::string(utf8).c_str());
}

void TSdlPlatform::SetIcon(const uint32_t* pixels, int width, int height) {
  if (!s_->window || !pixels || width <= 0 || height <= 0) return;
  SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(
      const_cast<uint32_t*>(pixels), width, height, 32, width * 4, SDL_PIXELFORMAT_ARGB8888);
  if (!icon) return;
  SDL_SetWindowIcon(s_->window, icon);
  SDL_FreeSurface(icon);
}

void TSdlPlatform::Minimize() {
  if (s_->window) SDL_MinimizeWindow(s_->window);
}

void TSdlPlatform::DestroyWindow() {
  if (s_->staging) SDL_FreeSurface(s_->staging);
  s_->staging = nullptr;
  if (s_->window) {
    SDL_StopTextInput();
    SDL_DestroyWindow(s_->window);
  }
  s_->window = nullptr;
}

int TSdlPlatform::DesktopBitsPerPixel() const {
  SDL_DisplayMode mode;
  if (initialized_ && SDL_GetDesktopDisplayMode(0, &mode) == 0)
    return int(SDL_BITSPERPIXEL(mode.format));
  return 32;
}

bool TSdlPlatform::LockBackBuffer(TBackBuffer& buffer) {
  if (!s_->window) return false;
  SDL_Surface* target = s_->staging;
  if (!target) {
    target = SDL_GetWindowSurface(s_->window);
    if (!target || target->w < s_->width || target->h < s_->height) {
      UpdateView();
      target = s_->staging ? s_->staging : SDL_GetWindowSurface(s_->window);
      if (!target || target->w < s_->width || target->h < s_->height) return false;
    }
  }
  if (SDL_MUSTLOCK(target) && SDL_LockSurface(target) != 0) return false;
  s_->locked = true;
  buffer.bits = static_cast<uint8_t*>(target->pixels);
  buffer.pitch = target->pitch;
  buffer.width = s_->width;
  buffer.height = s_->height;
  buffer.bitsPerPixel = target->format->BitsPerPixel;
  buffer.redMask = target->format->Rmask;
  buffer.greenMask = target->format->Gmask;
  buffer.blueMask = target->format->Bmask;
  return true;
}

void TSdlPlatform::UnlockBackBuffer() {
  if (!s_->locked) return;
  s_->locked = false;
  SDL_Surface* target = s_->staging ? s_->staging : SDL_GetWindowSurface(s_->window);
  if (target && SDL_MUSTLOCK(target)) SDL_UnlockSurface(target);
}

bool TSdlPlatform::Flip() {
  if (!s_->window) return false;
  if (s_->staging) {
    SDL_Surface* screen = SDL_GetWindowSurface(s_->window);
    if (!screen) return false;
    SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, 0, 0, 0));
    SDL_Rect dest = s_->view;
    SDL_BlitScaled(s_->staging, nullptr, screen, &dest);
  }
  return SDL_UpdateWindowSurface(s_->window) == 0;
}

// Window position -> game position; false over the bars of a scaled picture.
bool TSdlPlatform::ToGame(int wx, int wy, TPoint& p) const {
  const SDL_Rect& v = s_->view;
  if (v.w <= 0 || v.h <= 0) return false;
  if (wx < v.x || wy < v.y || wx >= v.x + v.w || wy >= v.y + v.h) return false;
  p.x = int(int64_t(wx - v.x) * s_->width / v.w);
  p.y = int(int64_t(wy - v.y) * s_->height / v.h);
  return true;
}

void TSdlPlatform::Translate(const SDL_Event& e) {
  auto post = [this](uint32_t msg, uint32_t w, uint32_t l) { s_->queue.push_back({msg, w, l}); };
  switch (e.type) {
    case SDL_QUIT:
      post(WM_CLOSE, 0, 0);
      break;
    case SDL_WINDOWEVENT:
      switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
          post(WM_CLOSE, 0, 0);
          break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          post(WM_SETFOCUS, 0, 0);
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          post(WM_KILLFOCUS, 0, 0);
          break;
        case SDL_WINDOWEVENT_MINIMIZED:
          post(WM_SYSCOMMAND, SC_MINIMIZE, 0);
          break;
        case SDL_WINDOWEVENT_RESTORED:
          post(WM_SYSCOMMAND, SC_RESTORE, 0);
          break;
        case SDL_WINDOWEVENT_ENTER:
          post(WM_NCHITTEST, HTCLIENT, 0);
          break;
        case SDL_WINDOWEVENT_LEAVE:
          post(WM_NCHITTEST, HTNOWHERE, 0);
          break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          UpdateView();
          break;
        default:
          break;
      }
      break;
    case SDL_MOUSEMOTION: {
      TPoint p;
      if (ToGame(e.motion.x, e.motion.y, p))
        post(WM_MOUSEMOVE, KeyFlags(), MakePointParam(p.x, p.y));
      break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      TPoint p;
      if (!ToGame(e.button.x, e.button.y, p)) break;  // clicks on the bars are ignored
      bool down = e.type == SDL_MOUSEBUTTONDOWN;
      uint32_t msg = 0;
      if (e.button.button == SDL_BUTTON_LEFT) msg = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
      if (e.button.button == SDL_BUTTON_RIGHT) msg = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
      if (e.button.button == SDL_BUTTON_MIDDLE) msg = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
      if (msg) post(msg, KeyFlags(), MakePointParam(p.x, p.y));
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      uint32_t vk = VirtualKey(e.key.keysym.sym);
      if (!vk) break;
      bool down = e.type == SDL_KEYDOWN;
      SDL_Keymod mod = SDL_GetModState();
      bool alt = (mod & KMOD_ALT) && !(mod & KMOD_CTRL);
      if (alt && vk != VK_MENU) {
        // Alt+key is a menu key: the window sees a system command carrying the character.
        if (down && !e.key.repeat) {
          uint32_t ch = vk >= 'A' && vk <= 'Z' ? vk + 32 : vk;
          post(WM_SYSCOMMAND, SC_KEYMENU, ch);
        }
        break;
      }
      uint32_t keyData = 1 | (uint32_t(e.key.keysym.scancode) & 0xFF) << 16;
      if (!down)
        keyData |= 0xC0000000u;
      else if (e.key.repeat)
        keyData |= 0x40000000u;
      post(down ? WM_KEYDOWN : WM_KEYUP, vk, keyData);
      if (down) {
        if (uint32_t ch = ControlCharacter(vk)) post(WM_CHAR, ch, keyData);
        // Ctrl+letter gives the control character, as a desktop window does (Ctrl+V = 22).
        if ((mod & KMOD_CTRL) && vk >= 'A' && vk <= 'Z') post(WM_CHAR, vk - 'A' + 1, keyData);
      }
      break;
    }
    case SDL_TEXTINPUT: {
      if (SDL_GetModState() & (KMOD_ALT | KMOD_CTRL)) break;  // handled as keys above
      std::deque<uint32_t> units;
      AppendUtf16(e.text.text, units);
      for (uint32_t u : units) post(WM_CHAR, u, 1);
      break;
    }
    default:
      break;
  }
}

bool TSdlPlatform::PeekMessage(TMessage& message) {
  if (s_->queue.empty() && initialized_) {
    SDL_Event e;
    while (s_->queue.empty() && SDL_PollEvent(&e)) Translate(e);
  }
  if (s_->queue.empty()) return false;
  message = s_->queue.front();
  s_->queue.pop_front();
  return true;
}

void TSdlPlatform::WaitMessage() {
  if (!s_->queue.empty() || !initialized_) return;
  SDL_Event e;
  while (s_->queue.empty() && SDL_WaitEventTimeout(&e, 100)) Translate(e);
}

void TSdlPlatform::PostMessage(const TMessage& message) {
  s_->queue.push_back(message);
}

TPoint TSdlPlatform::GetCursorPos() const {
  int x = 0, y = 0;
  SDL_GetMouseState(&x, &y);
  TPoint p;
  if (ToGame(x, y, p)) return p;
  // Over the bars: outside the game picture.
  const SDL_Rect& v = s_->view;
  if (v.w <= 0 || v.h <= 0) return {-1, -1};
  return {int(int64_t(x - v.x) * s_->width / v.w), int(int64_t(y - v.y) * s_->height / v.h)};
}

void TSdlPlatform::SetCursorPos(TPoint p) {
  if (!s_->window || s_->width <= 0 || s_->height <= 0) return;
  const SDL_Rect& v = s_->view;
  SDL_WarpMouseInWindow(s_->window, v.x + int(int64_t(p.x) * v.w / s_->width),
                        v.y + int(int64_t(p.y) * v.h / s_->height));
}

void TSdlPlatform::ShowSystemCursor(bool show) {
  SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

uint32_t TSdlPlatform::Now() {
  return SDL_GetTicks();
}

void TSdlPlatform::Sleep(uint32_t ms) {
  SDL_Delay(ms);
}

std::string TSdlPlatform::GetClipboardText() {
  if (!initialized_ || !SDL_HasClipboardText()) return {};
  char* text = SDL_GetClipboardText();
  std::string result = text ? text : "";
  SDL_free(text);
  return result;
}

bool TSdlPlatform::OpenUrl(std::string_view url) {
  return LaunchDesktopOpener(url);
}

}  // namespace lumessa
