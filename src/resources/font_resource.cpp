#include "resources/font_resource.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "engine/log.h"
#include "engine/text.h"
#include "persistence/text_encoding.h"

namespace lumessa {

namespace {

// The code point the text starts with (U+FFFD for a malformed start).
int FirstCodePoint(std::string_view text) {
  std::u16string units = Utf8ToUtf16(text.substr(0, 4));
  if (units.empty()) return 0;
  char32_t high = units[0];
  if (high >= 0xD800 && high < 0xDC00 && units.size() > 1) {
    char32_t low = units[1];
    if (low >= 0xDC00 && low < 0xE000)
      return int(0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00));
  }
  return int(high);
}

// left + size without overflow, a negative size counting as 0.
int RightOf(int left, int size) {
  int64_t right = int64_t(left) + std::max(size, 0);
  return int(std::min<int64_t>(right, INT_MAX));
}

// Marks an object busy for the length of a call.
class TBusy {
 public:
  explicit TBusy(bool& flag) : flag_(flag) { flag_ = true; }
  ~TBusy() { flag_ = false; }
  TBusy(const TBusy&) = delete;
  TBusy& operator=(const TBusy&) = delete;

 private:
  bool& flag_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TSymbol

void TSymbol::Initialize() {
  TPersistObject::Initialize();
  SetNodeName("symbol");
}

void TSymbol::LoadProperties(const Ref<IHierStorage>& storage) {
  TPersistObject::LoadProperties(storage);
  code_ = 0;
  rect_ = {};
  leftBearing_ = rightBearing_ = 0;
  std::string scancode = ReadString(storage, "scancode", GetName());
  SetName(scancode);
  std::optional<int64_t> code = ParseInt(scancode);
  if (!code || *code < INT_MIN || *code > INT_MAX) {
    Log("symbol \"%s\": the scancode is no integer; its rectangle and bearings are not read",
        scancode.c_str());
    return;
  }
  code_ = int(*code);
  // Lookups use the plain decimal form, so "065" and "$41" still name the symbol of "A".
  SetName(FormatInt(code_));
  int left = ReadInt(storage, "left", 0), top = ReadInt(storage, "top", 0);
  rect_ = {left, top, RightOf(left, ReadInt(storage, "width", 0)),
           RightOf(top, ReadInt(storage, "height", 0))};
  leftBearing_ = ReadInt(storage, "wleft", 0);
  rightBearing_ = ReadInt(storage, "wright", 0);
}

void TSymbol::SaveProperties(const Ref<IHierStorage>& storage) {
  WriteInt(storage, "scancode", true, code_);
  WriteInt(storage, "left", true, rect_.left);
  WriteInt(storage, "top", true, rect_.top);
  WriteInt(storage, "width", true, rect_.Width());
  WriteInt(storage, "height", true, rect_.Height());
  WriteInt(storage, "wleft", true, leftBearing_);
  WriteInt(storage, "wright", true, rightBearing_);
}

// ---------------------------------------------------------------------------------------------
// TSymbolCollection

void TSymbolCollection::Initialize() {
  TStaticCreationPersistItemCollection::Initialize();
  SetNodeName("symbols");
  SetItemNodeName("symbol");
  SetItemClass(TObjectClass::Of<TSymbol>());
}

bool TSymbolCollection::Add(const Ref<ISymbol>& symbol) {
  if (!symbol) return false;
  return items_.Add(Ref<IInterface>(symbol), false, -1, symbol->GetName()) != nullptr;
}

int TSymbolCollection::MaxHeight() const {
  int height = 0;
  for (const auto& entry : items_)
    if (Ref<ISymbol> symbol = Query<ISymbol>(entry.item))
      height = std::max(height, symbol->GetHeight());
  return height;
}

void TSymbolCollection::AddItem(const Ref<IInterface>& item) {
  Ref<ISymbol> symbol = Query<ISymbol>(item);
  if (symbol && !Add(symbol))
    Log("symbol \"%s\" is listed twice; the second is skipped", symbol->GetName().c_str());
}

// ---------------------------------------------------------------------------------------------
// TFontResource

void TFontResource::Initialize() {
  TImageResource::Initialize();
  symbols_ = NewObject<TSymbolCollection>();
}

Ref<ISymbol> TFontResource::GetSymbol(std::string_view text) {
  if (text.empty()) return {};
  return symbols_->Get(TVariant(FormatInt(FirstCodePoint(text))));
}

void TFontResource::LoadProperties(const Ref<IHierStorage>& storage) {
  TImageResource::LoadProperties(storage);
  symbols_->Reset();
  LoadObjectFromChild(Ref<IInterface>(symbols_), storage, "symbols", 0);
  lineHeight_ = symbols_->MaxHeight();
}

void TFontResource::SaveProperties(const Ref<IHierStorage>& storage) {
  TImageResource::SaveProperties(storage);
  SaveObjectToChild(Ref<IInterface>(symbols_), storage, "symbols");
}

// ---------------------------------------------------------------------------------------------
// TFontSubstituteResource

void TFontSubstituteResource::SetOwner(IResourceOwner* owner) {
  TResource::SetOwner(owner);
  fonts_.clear();
  current_.reset();
  if (!owner) return;
  for (const std::string& item : SplitParamList(fontNames_, ',')) {
    std::string name(Trim(item));
    if (name.empty()) continue;
    Ref<IFontResource> font = Query<IFontResource>(owner->FindResource(name));
    if (!font) {
      Log("%s: \"%s\" is no font; skipped", Describe().c_str(), name.c_str());
    } else if (font.get() == static_cast<IFontResource*>(this)) {
      Log("%s lists itself; skipped", Describe().c_str());
    } else {
      fonts_.push_back(std::move(font));
    }
  }
}

void TFontSubstituteResource::ReleaseResource() {
  fonts_.clear();
  current_.reset();
  TResource::ReleaseResource();
}

int TFontSubstituteResource::GetWidth() {
  if (busy_ || !current_) return 0;
  TBusy busy(busy_);
  return current_->GetWidth();
}

int TFontSubstituteResource::GetHeight() {
  if (busy_ || !current_) return 0;
  TBusy busy(busy_);
  return current_->GetHeight();
}

Ref<ISurface> TFontSubstituteResource::GetSurface() {
  if (busy_ || !current_) return {};
  TBusy busy(busy_);
  return current_->GetSurface();
}

int TFontSubstituteResource::GetLineHeight() {
  if (busy_) return 0;
  TBusy busy(busy_);
  int height = 0;
  for (const Ref<IFontResource>& font : fonts_) height = std::max(height, font->GetLineHeight());
  return height;
}

Ref<ISymbol> TFontSubstituteResource::GetSymbol(std::string_view text) {
  if (busy_) return {};
  TBusy busy(busy_);
  for (const Ref<IFontResource>& font : fonts_) {
    current_ = font;
    if (Ref<ISymbol> symbol = font->GetSymbol(text)) return symbol;
  }
  return {};
}

void TFontSubstituteResource::LoadProperties(const Ref<IHierStorage>& storage) {
  TResource::LoadProperties(storage);
  fontNames_ = ReadString(storage, "fonts", "");
}

void TFontSubstituteResource::SaveProperties(const Ref<IHierStorage>& storage) {
  TResource::SaveProperties(storage);
  WriteString(storage, "fonts", !fontNames_.empty(), fontNames_);
}

}  // namespace lumessa
