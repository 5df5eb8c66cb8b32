// "text_widget": a text drawn with a bitmap font resource, on one line (cut at the widget's
// width) or on several (wrapped at the last space, or cut inside a word too long for a line),
// aligned horizontally and vertically, rendered once into a cache surface.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "widgets/image_widgets.h"

namespace lumessa {

// One character of the text and where the layout put it.
struct TSymbolInfo {
  char16_t character = 0;
  int position = 0;  // in the text, from 1
  TRect rect;        // in the widget's own space
  int glyphWidth = 0;
  int glyphHeight = 0;
  int extraBefore = 0;   // the glyph's "wleft"
  int extraAfter = 0;    // the glyph's "wright"
  bool present = false;  // the font has a glyph and the layout placed it
};

enum TTextAlign : int { taLeft = 0, taCenter = 1, taRight = 2 };
enum TTextVertAlign : int { tvaTop = 0, tvaMiddle = 1, tvaBottom = 2 };
inline constexpr std::string_view kTextAlignChoices = "/left/center/right";
inline constexpr std::string_view kTextVertAlignChoices = "/top/middle/bottom";

class TTextWidget : public TImageWidget {
 public:
  // Text values cross the property interface as UTF-8 (the program's text); "text" and
  // "text_utf8" therefore read and write the same value. Written texts are macro-expanded.
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;

  // Takes the engine, then lays the text out.
  void SetOwner(IWidgetOwner* owner) override;
  // Lays the text out again.
  void Refresh() override;
  void SetWidth(int width) override;
  void SetHeight(int height) override;
  // Any change of appearance renders the cache again.
  void SetChanged(bool changed) override;
  // The cached text picture at the text bounds.
  void Draw(ISurface* surface, int x, int y) override;
  // The widget's own rectangle joined with the text bounds, in owner coordinates.
  TRect GetBounds() const override;
  // The rectangle test over the bounds: the gaps between letters count as the text.
  bool ContainsPoint(TPoint point, bool ignoreVisibility) override;

  const std::u16string& GetText() const { return text_; }
  // Expands the macros of the UTF-8 text and lays it out.
  void SetText(std::string_view utf8);
  std::string GetTextUtf8() const;
  bool GetMultiline() const { return multiline_; }
  void SetMultiline(bool multiline);
  bool GetUseFixedWidth() const { return useFixedWidth_; }
  void SetUseFixedWidth(bool use);
  int GetFixedWidth() const { return fixedWidth_; }
  void SetFixedWidth(int width);
  // Takes effect at the next layout.
  void SetTextLineHeight(int height) { textLineHeight_ = std::clamp(height, -kMaxCell, kMaxCell); }
  int GetTextAlign() const { return align_; }
  void SetTextAlign(int align);
  int GetTextVertAlign() const { return vertAlign_; }
  void SetTextVertAlign(int align);

  const std::vector<TSymbolInfo>& Symbols() const { return symbols_; }
  // The union of the placed characters' rectangles, in the widget's own space.
  const TRect& TextBounds() const { return textBounds_; }
  // The rectangle of the character at position (from 1), moved by the rounded anchors; false
  // when out of range or not placed.
  bool GetCharRect(int position, TRect& rect) const;
  // Builds the symbol list and places the characters (see the .cpp).
  void Layout();

  // The fixed width and the line step are kept within this, whatever the data says.
  static constexpr int kMaxCell = TSurface::kMaxSide;

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  void OnResourceChanged() override { Layout(); }

 private:
  void LayoutSingleLine();
  void LayoutLines();
  // The characters [begin, end) as one line at top y.
  void PlaceLine(size_t begin, size_t end, int64_t y);
  // Where a line of that width starts, by the horizontal alignment.
  int64_t LineStart(int64_t lineWidth) const;
  int Advance(const TSymbolInfo& s, bool proportionalExtras) const;
  void RenderCache();

  std::string rawText_;  // as given, before macro expansion (what is saved)
  std::u16string text_;
  int textLineHeight_ = 0;
  bool useFixedWidth_ = false;
  bool multiline_ = false;
  int fixedWidth_ = 0;
  int align_ = taLeft;
  int vertAlign_ = tvaTop;

  int fontLineHeight_ = 0;
  std::vector<TSymbolInfo> symbols_;
  TRect textBounds_;
  bool hasText_ = false;  // some character is placed
  Ref<ISurface> cache_;
  bool cacheDirty_ = true;
};

// UTF-16 code units to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace lumessa
