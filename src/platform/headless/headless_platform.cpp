#include "platform/headless/headless_platform.h"

#include "engine/log.h"

namespace lumessa {

bool THeadlessPlatform::CreateWindow(std::string_view caption) {
  caption_ = caption;
  windowExists_ = true;
  return true;
}

bool THeadlessPlatform::SetDisplayMode(int width, int height, bool fullScreen) {
  if (!windowExists_ || width <= 0 || height <= 0) return false;
  width_ = width;
  height_ = height;
  fullScreen_ = fullScreen;  // nothing to switch: full screen is only remembered
  buffer_.assign(size_t(width) * size_t(height), 0);
  return true;
}

bool THeadlessPlatform::LockBackBuffer(TBackBuffer& buffer) {
  if (!windowExists_ || buffer_.empty()) return false;
  buffer.bits = reinterpret_cast<uint8_t*>(buffer_.data());
  buffer.pitch = width_ * 4;
  buffer.width = width_;
  buffer.height = height_;
  buffer.bitsPerPixel = 32;
  buffer.redMask = 0x00FF0000;
  buffer.greenMask = 0x0000FF00;
  buffer.blueMask = 0x000000FF;
  return true;
}

bool THeadlessPlatform::PeekMessage(TMessage& message) {
  if (queue_.empty()) return false;
  message = queue_.front();
  queue_.pop_front();
  return true;
}

bool THeadlessPlatform::OpenUrl(std::string_view url) {
  // A headless run never starts desktop programs; it only says what it would have opened.
  Log("headless: not opening %.*s", int(url.size()), url.data());
  return false;
}

}  // namespace lumessa
