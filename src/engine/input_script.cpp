#include "engine/input_script.h"

#include <algorithm>

#include "engine/text.h"

namespace lumessa {

namespace {

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

bool Number(std::string_view word, int64_t min, int64_t max, int& out) {
  auto v = ParseInt(word);
  if (!v || *v < min || *v > max) return false;
  out = int(*v);
  return true;
}

// Message codes of a button: down, up, double click; and its key flag.
struct TButton {
  uint32_t down, up, dblclk, flag;
};

bool ButtonOf(std::string_view name, TButton& b) {
  if (name == "left")
    b = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, MK_LBUTTON};
  else if (name == "right")
    b = {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, MK_RBUTTON};
  else if (name == "middle")
    b = {WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK, MK_MBUTTON};
  else
    return false;
  return true;
}

}  // namespace

bool TInputScript::Parse(std::string_view text, std::string& error) {
  events_.clear();
  uint32_t buttons = 0;  // mouse buttons held, for the key flags of mouse messages
  int lineNo = 0;
  while (!text.empty()) {
    size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    ++lineNo;
    if (size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    std::vector<std::string_view> w = Words(line);
    if (w.empty()) continue;
    auto fail = [&](const std::string& why) {
      error = "input script line " + std::to_string(lineNo) + ": " + why;
      events_.clear();
      return false;
    };
    TEvent e;
    if (!Number(w[0], 1, 1 << 30, e.frame)) return fail("the frame must be a number from 1");
    if (w.size() < 2) return fail("a verb is missing");
    std::string_view verb = w[1];
    auto args = [&](size_t n) { return w.size() == n + 2; };
    int x = 0, y = 0, code = 0;
    TButton b{};
    if (verb == "move") {
      if (!args(2) || !Number(w[2], -32768, 32767, x) || !Number(w[3], -32768, 32767, y))
        return fail("move takes X Y");
      e.message = {WM_MOUSEMOVE, buttons, MakePointParam(x, y)};
      e.movesCursor = true;
      e.position = {x, y};
    } else if (verb == "down" || verb == "up" || verb == "dblclick") {
      if (!args(3) || !ButtonOf(w[2], b) || !Number(w[3], -32768, 32767, x) ||
          !Number(w[4], -32768, 32767, y))
        return fail(std::string(verb) + " takes B X Y, B being left, right or middle");
      uint32_t msg = verb == "down" ? b.down : verb == "up" ? b.up : b.dblclk;
      if (verb == "up")
        buttons &= ~b.flag;
      else
        buttons |= b.flag;
      e.message = {msg, buttons, MakePointParam(x, y)};
      e.movesCursor = true;
      e.position = {x, y};
    } else if (verb == "keydown" || verb == "keyup") {
      if (!args(1) || !Number(w[2], 1, 255, code))
        return fail(std::string(verb) + " takes VK (1-255)");
      e.message = {verb == "keydown" ? WM_KEYDOWN : WM_KEYUP, uint32_t(code),
                   verb == "keydown" ? 1u : 0xC0000001u};
    } else if (verb == "char" || verb == "altchar") {
      if (!args(1) || !Number(w[2], 1, 0xFFFF, code))
        return fail(std::string(verb) + " takes CODE (1-65535)");
      e.message = verb == "char" ? TMessage{WM_CHAR, uint32_t(code), 1}
                                 : TMessage{WM_SYSCOMMAND, SC_KEYMENU, uint32_t(code)};
    } else if (verb == "close") {
      if (!args(0)) return fail("close takes no arguments");
      e.message = {WM_CLOSE, 0, 0};
    } else {
      return fail("unknown verb \"" + std::string(verb) + "\"");
    }
    events_.push_back(e);
  }
  std::stable_sort(events_.begin(), events_.end(),
                   [](const TEvent& a, const TEvent& b) { return a.frame < b.frame; });
  return true;
}

std::vector<TInputScript::TEvent> TInputScript::EventsFor(int frame) const {
  auto lo = std::lower_bound(events_.begin(), events_.end(), frame,
                             [](const TEvent& e, int f) { return e.frame < f; });
  std::vector<TEvent> out;
  for (auto it = lo; it != events_.end() && it->frame == frame; ++it) out.push_back(*it);
  return out;
}

}  // namespace lumessa
