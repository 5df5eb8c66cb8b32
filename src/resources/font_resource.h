// Bitmap fonts: "FontResource" is an image of glyphs with a table of symbols (one rectangle per
// character code); "FontSubstituteResource" asks a list of fonts in turn, so a text can draw
// characters that its main font lacks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "resources/image_resource.h"

namespace lumessa {

class ISymbolCollection : public virtual ICollection {
 public:
  virtual Ref<ISymbol> Get(const TVariant& key) const = 0;
  // Keyed by the symbol's name; a second symbol of the same name is not added.
  virtual bool Add(const Ref<ISymbol>& symbol) = 0;
};

// One glyph: node "symbol" with "scancode" (the decimal character code, which is also the
// symbol's name), "left", "top", "width", "height", "wleft" and "wright".
class TSymbol : public TPersistObject, public virtual ISymbol {
 public:
  void Initialize() override;

  int GetCode() const override { return code_; }
  void SetCode(int code) override { code_ = code; }
  TRect GetRect() const override { return rect_; }
  void SetRect(const TRect& rect) override { rect_ = rect; }
  int GetWidth() const override { return rect_.Width(); }
  int GetHeight() const override { return rect_.Height(); }
  int GetLeftBearing() const override { return leftBearing_; }
  int GetRightBearing() const override { return rightBearing_; }
  void SetBearings(int left, int right) {
    leftBearing_ = left;
    rightBearing_ = right;
  }

 protected:
  // "name", then "scancode", which renames the symbol to the code's decimal form. A scancode
  // that is no integer names the symbol as written and leaves the rest unread (all 0).
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  // The seven attributes, always.
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  int code_ = 0;
  TRect rect_;
  int leftBearing_ = 0;
  int rightBearing_ = 0;
};

// Node "symbols", items "symbol".
class TSymbolCollection : public TStaticCreationPersistItemCollection,
                          public virtual ISymbolCollection {
 public:
  void Initialize() override;

  Ref<ISymbol> Get(const TVariant& key) const override { return GetAs<ISymbol>(key); }
  bool Add(const Ref<ISymbol>& symbol) override;
  // The largest symbol height; 0 without symbols.
  int MaxHeight() const;

 protected:
  void AddItem(const Ref<IInterface>& item) override;
};

// An image resource with a child "symbols". LineHeight is the largest symbol height, known as
// soon as the description is read (the image itself may still wait for its first use).
class TFontResource : public TImageResource, public virtual IFontResource {
 public:
  void Initialize() override;

  int GetLineHeight() override { return lineHeight_; }
  Ref<ISymbol> GetSymbol(std::string_view text) override;

  const Ref<TSymbolCollection>& Symbols() const { return symbols_; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  Ref<TSymbolCollection> symbols_;
  int lineHeight_ = 0;
};

// "fonts": comma-separated names of font resources, looked up through the owner when the owner
// is set; names that are missing or no fonts are skipped. GetSymbol asks the fonts in order and
// makes the one it asked last Current; width, height and surface answer for Current.
class TFontSubstituteResource : public TResource, public virtual IFontResource {
 public:
  void SetOwner(IResourceOwner* owner) override;
  // Also forgets the fonts.
  void ReleaseResource() override;

  // IImageResource, for Current (0 or nothing without one).
  int GetWidth() override;
  int GetHeight() override;
  Ref<ISurface> GetSurface() override;
  // The largest line height of all fonts.
  int GetLineHeight() override;
  Ref<ISymbol> GetSymbol(std::string_view text) override;

  const std::string& FontNames() const { return fontNames_; }
  void SetFontNames(std::string_view names) { fontNames_ = names; }
  const std::vector<Ref<IFontResource>>& Fonts() const { return fonts_; }
  const Ref<IFontResource>& Current() const { return current_; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  std::string fontNames_;
  std::vector<Ref<IFontResource>> fonts_;
  Ref<IFontResource> current_;
  // Set while a call is passed on to the fonts: substitutes that list each other answer the
  // repeated call with nothing instead of recursing without end.
  bool busy_ = false;
};

}  // namespace lumessa
