#include "widgets/text_widget.h"

#include <algorithm>
#include <cstdint>

#include "persistence/languages.h"
#include "persistence/text_encoding.h"
#include "widgets/widget_storage.h"

namespace lumessa {

namespace {

// The UTF-8 bytes of one code unit, for the font's symbol lookup; empty for a surrogate (such
// characters have no glyph).
std::string_view EncodeUnit(char16_t c, char (&buffer)[4]) {
  if (c < 0x80) {
    buffer[0] = char(c);
    return {buffer, 1};
  }
  if (c < 0x800) {
    buffer[0] = char(0xC0 | (c >> 6));
    buffer[1] = char(0x80 | (c & 0x3F));
    return {buffer, 2};
  }
  if (c >= 0xD800 && c <= 0xDFFF) return {};
  buffer[0] = char(0xE0 | (c >> 12));
  buffer[1] = char(0x80 | ((c >> 6) & 0x3F));
  buffer[2] = char(0x80 | (c & 0x3F));
  return {buffer, 3};
}

// Layout sums run in 64 bits (widths and heights come from data); rectangles hold ints.
int ToCoord(int64_t v) {
  return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

TRect RectAt(int64_t left, int64_t top, int width, int height) {
  return {ToCoord(left), ToCoord(top), ToCoord(left + width), ToCoord(top + height)};
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Storage and properties

void TTextWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TImageWidget::LoadProperties(storage);
  TKeyReader keys(storage, LogName());
  rawText_ = ReadString(storage, "text");
  text_ = Utf8ToUtf16(ExpandText(rawText_));
  textLineHeight_ = std::clamp(keys.Int("textlineheight", 0), -kMaxCell, kMaxCell);
  useFixedWidth_ = keys.Bool("usefixedwidth", false);
  multiline_ = keys.Bool("multiline", false);
  fixedWidth_ = std::clamp(keys.Int("fixedwidth", 0), 0, kMaxCell);
  if (fixedWidth_ == 0) useFixedWidth_ = false;
  align_ = keys.Enum("textalign", kTextAlignChoices, taLeft);
  vertAlign_ = keys.Enum("textvertalign", kTextVertAlignChoices, tvaTop);
  cacheDirty_ = true;
}

void TTextWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TImageWidget::SaveProperties(storage);
  WriteString(storage, "text", !rawText_.empty(), rawText_);
  WriteInt(storage, "textlineheight", textLineHeight_ != 0, textLineHeight_);
  WriteBool(storage, "usefixedwidth", useFixedWidth_, useFixedWidth_);
  WriteBool(storage, "multiline", multiline_, multiline_);
  WriteInt(storage, "fixedwidth", fixedWidth_ != 0, fixedWidth_);
  WriteEnum(storage, "textalign", kTextAlignChoices, align_ != taLeft, align_);
  WriteEnum(storage, "textvertalign", kTextVertAlignChoices, vertAlign_ != tvaTop, vertAlign_);
}

namespace {

std::string ChoiceWord(std::string_view choices, int index) {
  for (size_t pos = choices.find('/'); pos != std::string_view::npos; --index) {
    size_t next = choices.find('/', pos + 1);
    if (index == 0) return std::string(choices.substr(pos + 1, next - pos - 1));
    pos = next;
  }
  return {};
}

int ChoiceIndex(std::string_view choices, std::string_view word, int current) {
  int index = 0;
  for (size_t pos = choices.find('/'); pos != std::string_view::npos; ++index) {
    size_t next = choices.find('/', pos + 1);
    if (choices.substr(pos + 1, next - pos - 1) == word) return index;
    pos = next;
  }
  return current;
}

}  // namespace

TVariant TTextWidget::GetProperty(std::string_view name) const {
  TVariant value = TImageWidget::GetProperty(name);
  if (name == "text" || name == "text_utf8") value = GetTextUtf8();
  if (name == "multiline") value = multiline_;
  if (name == "usefixedwidth") value = useFixedWidth_;
  if (name == "fixedwidth") value = fixedWidth_;
  if (name == "textlineheight") value = textLineHeight_;
  if (name == "textalign") value = ChoiceWord(kTextAlignChoices, align_);
  if (name == "textvertalign") value = ChoiceWord(kTextVertAlignChoices, vertAlign_);
  return value;
}

void TTextWidget::SetProperty(std::string_view name, const TVariant& value) {
  TImageWidget::SetProperty(name, value);
  if (name == "text" || name == "text_utf8") SetText(value.ToString());
  if (name == "multiline") SetMultiline(VariantToBool(value, multiline_));
  if (name == "usefixedwidth") SetUseFixedWidth(VariantToBool(value, useFixedWidth_));
  if (name == "fixedwidth") SetFixedWidth(VariantToInt(value, fixedWidth_));
  if (name == "textlineheight") SetTextLineHeight(VariantToInt(value, textLineHeight_));
  if (name == "textalign") SetTextAlign(ChoiceIndex(kTextAlignChoices, value.ToString(), align_));
  if (name == "textvertalign")
    SetTextVertAlign(ChoiceIndex(kTextVertAlignChoices, value.ToString(), vertAlign_));
}

void TTextWidget::SetText(std::string_view utf8) {
  std::u16string text = Utf8ToUtf16(ExpandText(utf8));
  rawText_ = utf8;
  if (text == text_) return;
  text_ = std::move(text);
  Layout();
}

std::string TTextWidget::GetTextUtf8() const {
  return Utf16ToUtf8(text_);
}

void TTextWidget::SetMultiline(bool multiline) {
  if (multiline == multiline_) return;
  multiline_ = multiline;
  Layout();
}

void TTextWidget::SetUseFixedWidth(bool use) {
  if (use == useFixedWidth_) return;
  useFixedWidth_ = use;
  Layout();
}

void TTextWidget::SetFixedWidth(int width) {
  width = std::clamp(width, 0, kMaxCell);
  if (width == fixedWidth_) return;
  fixedWidth_ = width;
  Layout();
}

void TTextWidget::SetTextAlign(int align) {
  if (align == align_) return;
  align_ = align;
  Layout();
}

void TTextWidget::SetTextVertAlign(int align) {
  if (align == vertAlign_) return;
  vertAlign_ = align;
  Layout();
}

void TTextWidget::SetOwner(IWidgetOwner* owner) {
  TImageWidget::SetOwner(owner);
  Layout();
}

void TTextWidget::Refresh() {
  Layout();
  TImageWidget::Refresh();
}

// The layout depends on the widget's size (the cut and the alignment), so a new size lays the
// text out again.
void TTextWidget::SetWidth(int width) {
  if (width == GetWidth()) return;
  TImageWidget::SetWidth(width);
  Layout();
}

void TTextWidget::SetHeight(int height) {
  if (height == GetHeight()) return;
  TImageWidget::SetHeight(height);
  Layout();
}

void TTextWidget::SetChanged(bool changed) {
  if (changed) cacheDirty_ = true;
  TImageWidget::SetChanged(changed);
}

// ---------------------------------------------------------------------------------------------
// Layout

int TTextWidget::Advance(const TSymbolInfo& s, bool proportionalExtras) const {
  if (useFixedWidth_) return fixedWidth_;
  return proportionalExtras ? s.glyphWidth + s.extraBefore + s.extraAfter : s.glyphWidth;
}

void TTextWidget::Layout() {
  SetChanged(true);
  SetMoved();
  cacheDirty_ = true;
  symbols_.clear();
  textBounds_ = {};
  hasText_ = false;

  Ref<IFontResource> font = Query<IFontResource>(FindResource());
  if (!font) {
    if (!GetResourceName().empty()) LogMissingResource("a font");
    return;
  }
  fontLineHeight_ = font->GetLineHeight();

  symbols_.reserve(text_.size());
  for (size_t i = 0; i < text_.size(); ++i) {
    TSymbolInfo s;
    s.character = text_[i];
    s.position = int(i) + 1;
    char buffer[4];
    std::string_view unit = EncodeUnit(s.character, buffer);
    if (Ref<ISymbol> glyph = unit.empty() ? Ref<ISymbol>() : font->GetSymbol(unit)) {
      s.present = true;
      s.glyphWidth = glyph->GetWidth();
      s.glyphHeight = glyph->GetHeight();
      s.rect = {0, 0, s.glyphWidth, s.glyphHeight};
      s.extraBefore = glyph->GetLeftBearing();
      s.extraAfter = glyph->GetRightBearing();
    }
    symbols_.push_back(s);
  }

  if (multiline_)
    LayoutLines();
  else
    LayoutSingleLine();

  for (const TSymbolInfo& s : symbols_) {
    if (!s.present) continue;
    textBounds_ = hasText_ ? textBounds_.Union(s.rect) : s.rect;
    hasText_ = true;
  }
}

// One line: characters that would end beyond the widget's width are dropped, with all after
// them (no ellipsis).
void TTextWidget::LayoutSingleLine() {
  const int width = GetWidth();
  const int height = GetHeight();
  int64_t lineWidth = 0;
  int tallest = 0;
  for (size_t i = 0; i < symbols_.size(); ++i) {
    TSymbolInfo& s = symbols_[i];
    if (!s.present) continue;
    const int advance = Advance(s, false);
    if (lineWidth + advance > width) {
      for (size_t k = i; k < symbols_.size(); ++k) symbols_[k].present = false;
      break;
    }
    lineWidth += advance;
    tallest = std::max(tallest, s.glyphHeight);
  }
  const int lineHeight = fontLineHeight_ > 0 ? fontLineHeight_ : tallest;
  int64_t x = LineStart(lineWidth);
  const int64_t top = vertAlign_ == tvaMiddle   ? (int64_t(height) - lineHeight) / 2
                      : vertAlign_ == tvaBottom ? int64_t(height) - lineHeight
                                                : 0;
  for (TSymbolInfo& s : symbols_) {
    if (!s.present) continue;
    const int c = useFixedWidth_ ? (fixedWidth_ - s.glyphWidth) / 2 : 0;
    s.rect = RectAt(x + c, top, s.glyphWidth, s.glyphHeight);
    x += Advance(s, false);
  }
}

// Lines are filled up to the widget's width and broken at a line feed, else before the last
// space (which is dropped), else inside a word too long for a line. Lines that would start
// below the widget are dropped.
void TTextWidget::LayoutLines() {
  const int width = GetWidth();
  const int height = GetHeight();
  const int step = textLineHeight_ != 0 ? textLineHeight_ : fontLineHeight_;
  const size_t n = symbols_.size();
  int64_t y = 0;
  int64_t lines = 0;
  size_t start = 0;
  while (start < n) {
    if (lines > 0 && y >= height) {
      for (size_t k = start; k < n; ++k) symbols_[k].present = false;
      break;
    }
    int64_t lineWidth = 0;
    ptrdiff_t lastSpace = -1;
    bool lineFeed = false;
    bool tooWide = false;
    size_t i = start;
    for (; i < n; ++i) {
      TSymbolInfo& s = symbols_[i];
      if (s.character == u'\n') {
        lineFeed = true;
        break;
      }
      if (s.character == u' ') lastSpace = ptrdiff_t(i);
      if (!s.present) continue;
      const int advance = Advance(s, true);
      if (lineWidth + advance > width) {
        tooWide = true;
        break;
      }
      lineWidth += advance;
    }
    size_t end = i;
    size_t next = i;
    if (lineFeed) {
      symbols_[i].present = false;
      next = i + 1;
    } else if (tooWide && lastSpace >= 0) {
      end = size_t(lastSpace);
      next = end + 1;
      symbols_[end].present = false;
    } else if (tooWide && lineWidth == 0) {
      // A character wider than the widget fits on no line: it is dropped, and the line goes on.
      symbols_[i].present = false;
      continue;
    }
    PlaceLine(start, end, y);
    ++lines;
    y += step;
    start = next;
  }
  if (lines == 0) return;
  const int64_t block = fontLineHeight_ + (lines - 1) * step;
  const int64_t dy = vertAlign_ == tvaMiddle   ? (height - block) / 2
                     : vertAlign_ == tvaBottom ? height - block
                                               : 0;
  if (dy == 0) return;
  for (TSymbolInfo& s : symbols_)
    if (s.present)
      s.rect = RectAt(s.rect.left, int64_t(s.rect.top) + dy, s.glyphWidth, s.glyphHeight);
}

void TTextWidget::PlaceLine(size_t begin, size_t end, int64_t y) {
  int64_t lineWidth = 0;
  for (size_t k = begin; k < end; ++k)
    if (symbols_[k].present) lineWidth += Advance(symbols_[k], true);
  int64_t x = LineStart(lineWidth);
  for (size_t k = begin; k < end; ++k) {
    TSymbolInfo& s = symbols_[k];
    if (!s.present) continue;
    if (useFixedWidth_) {
      const int c = (fixedWidth_ - s.glyphWidth) / 2;
      s.rect = RectAt(x + c, y, s.glyphWidth, s.glyphHeight);
      x += fixedWidth_;
    } else {
      x += s.extraBefore;
      s.rect = RectAt(x, y, s.glyphWidth, s.glyphHeight);
      x += s.glyphWidth + s.extraAfter;
    }
  }
}

int64_t TTextWidget::LineStart(int64_t lineWidth) const {
  const int64_t width = GetWidth();
  return align_ == taRight ? width - lineWidth : align_ == taCenter ? (width - lineWidth) / 2 : 0;
}

bool TTextWidget::GetCharRect(int position, TRect& rect) const {
  if (position < 1 || position > int(symbols_.size())) return false;
  const TSymbolInfo& s = symbols_[size_t(position - 1)];
  if (!s.present) return false;
  const TPoint anchor = RoundedAnchors();
  rect = s.rect.Offset(anchor.x, anchor.y);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Drawing

void TTextWidget::RenderCache() {
  cacheDirty_ = false;
  if (!hasText_) return;
  const int w = textBounds_.Width();
  const int h = textBounds_.Height();
  if (w <= 0 || h <= 0) return;
  if (!cache_ || cache_->GetWidth() < w || cache_->GetHeight() < h) {
    const Ref<IEngine>& engine = ResourceEngine();
    if (!engine) return;
    Ref<ISurface> cache = engine->CreateSurface();
    if (!cache) return;
    cache->SetSize(std::max(w, cache_ ? cache_->GetWidth() : 0),
                   std::max(h, cache_ ? cache_->GetHeight() : 0));
    cache->SetHasAlpha(true);
    cache_ = cache;
  } else {
    cache_->ClearAll();
  }
  Ref<IFontResource> font = Query<IFontResource>(FindResource());
  if (!font) return;
  for (const TSymbolInfo& s : symbols_) {
    if (!s.present) continue;
    char buffer[4];
    std::string_view unit = EncodeUnit(s.character, buffer);
    // The symbol first: a substitute font answers the surface of the font that had it.
    Ref<ISymbol> glyph = font->GetSymbol(unit);
    Ref<ISurface> bits = glyph ? font->GetSurface() : Ref<ISurface>();
    if (!bits) continue;
    const TRect source = glyph->GetRect();
    cache_->DrawSurface(bits.get(), source, bmNormal, 255,
                        RectOfSize(s.rect.left - textBounds_.left, s.rect.top - textBounds_.top,
                                   source.Width(), source.Height()));
  }
}

void TTextWidget::Draw(ISurface* surface, int x, int y) {
  if (!surface) return;
  if (cacheDirty_) RenderCache();
  if (!cache_ || !hasText_) return;
  const TRect source{0, 0, textBounds_.Width(), textBounds_.Height()};
  const TRect dest =
      RectOfSize(x + textBounds_.left, y + textBounds_.top, source.Width(), source.Height());
  if (GetDrawMode() == dmFillColor)
    surface->DrawColor(GetFillColor(), cache_.get(), GetBlendingMode(), GetTransparentLevel(),
                       source, dest);
  else
    surface->DrawSurface(cache_.get(), source, GetBlendingMode(), GetTransparentLevel(), dest);
}

TRect TTextWidget::GetBounds() const {
  TRect bounds = TImageWidget::GetBounds();
  if (!hasText_) return bounds;
  const TPoint anchor = RoundedAnchors();
  return bounds.Union(textBounds_.Offset(anchor.x, anchor.y));
}

bool TTextWidget::ContainsPoint(TPoint point, bool ignoreVisibility) {
  return TResourceWidget::ContainsPoint(point, ignoreVisibility);
}

}  // namespace lumessa
