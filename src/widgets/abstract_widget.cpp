#include "widgets/abstract_widget.h"

#include <cmath>
#include <limits>

#include "engine/log.h"
#include "persistence/param_collection.h"
#include "resources/sound.h"
#include "widgets/widget_storage.h"

namespace lumessa {

namespace {

int64_t SaturatingAdd(int64_t a, int64_t b) {
  int64_t r;
  if (__builtin_add_overflow(a, b, &r))
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  return r;
}

int ClampToInt(int64_t v) {
  if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return int(v);
}

// Aliases may lead to each other (or through paths to other widgets' aliases); a cycle in the
// data must end, not overflow the stack.
constexpr int kMaxAliasDepth = 16;
int aliasDepth = 0;  // main thread only

struct TAliasDepthGuard {
  TAliasDepthGuard() { ++aliasDepth; }
  ~TAliasDepthGuard() { --aliasDepth; }
  TAliasDepthGuard(const TAliasDepthGuard&) = delete;
  TAliasDepthGuard& operator=(const TAliasDepthGuard&) = delete;
};

// "\name=value\..." of the extra parameters; values holding separators are braced.
std::string FormatPairList(const IParamCollection& params) {
  std::string text;
  for (int i = 0; i < params.Count(); ++i) {
    Ref<IParam> p = params.Get(TVariant(i));
    if (!p) continue;
    std::string value = p->GetValue().ToString();
    if (value.find_first_of("\\={}") != std::string::npos) value = "{" + value + "}";
    text += "\\" + p->GetName() + "=" + value;
  }
  return text;
}

// The widget's "sounds" element: "sound" items, each naming a sound resource.
Ref<ISoundCollection> LoadSoundCollection(const Ref<IHierStorage>& node) {
  Ref<TSoundCollection> sounds = NewObject<TSoundCollection>();
  sounds->Load(node);
  return sounds;
}

}  // namespace

int RoundFarCoord(double v) {
  return ClampToInt(RoundHalfEven(v));
}

int VariantToInt(const TVariant& value, int current) {
  return value.ConvertsToNumber() ? ClampToInt(value.ToInt(current)) : current;
}

int64_t VariantToInt64(const TVariant& value, int64_t current) {
  return value.ConvertsToNumber() ? value.ToInt(current) : current;
}

double VariantToReal(const TVariant& value, double current) {
  return value.ConvertsToNumber() ? value.ToFloat(current) : current;
}

bool VariantToBool(const TVariant& value, bool current) {
  return value.ToBool(current);
}

// ---------------------------------------------------------------------------------------------
// TAbstractWidget

void TAbstractWidget::Initialize() {
  TPropertyObject::Initialize();
  SetNodeName("widget");
  timeRate_ = 1;
  currentTime_ = 0;
  timeToLive_ = 0;
  neverDrawn_ = true;
}

std::string TAbstractWidget::LogName() const {
  return Name().empty() ? "(unnamed " + (TypeName().empty() ? "widget" : TypeName()) + ")" : Name();
}

void TAbstractWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TPropertyObject::LoadProperties(storage);
  TKeyReader keys(storage, LogName());
  paused_ = keys.Bool("paused", false);
  transparentLevel_ = std::clamp(keys.Int("transparentlevel", 255), 0, 255);
  startTime_ = keys.Int("currenttime", 0);
  currentTime_ = startTime_;
  timeToLive_ = keys.Int("timetolive", 0);
  timeRate_ = keys.Float("time_rate", 1);
  aliases_ = keys.String("aliases");
  redefinedParams_ = keys.String("redefinedparams");

  extraParams_.reset();
  std::string extra = keys.String("extraparams");
  if (!ParamListIsEmpty(extra))
    for (const auto& [name, value] : ParseParamPairs(extra)) SetExtraParam(name, value);

  sounds_.reset();
  if (storage->GetChildCount("sounds") > 0) {
    Ref<IHierStorage> node = storage->GetChild("sounds", 0);
    sounds_ = LoadSoundCollection(node);
  }

  functionHost_.Detach();
  function_.reset();
  if (storage->GetChildCount("function_widget") > 0) {
    Ref<IHierStorage> node = storage->GetChild("function_widget", 0);
    function_ = Query<IFunction>(CreateFromNode(node));
    if (!function_)
      Log("widget '%s': \"function_widget\" of the unknown kind \"%s\" is skipped",
          LogName().c_str(), ReadString(node, "type").c_str());
  }
}

void TAbstractWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TPropertyObject::SaveProperties(storage);
  WriteBool(storage, "paused", paused_, paused_);
  WriteInt(storage, "transparentlevel", transparentLevel_ != 255, transparentLevel_);
  WriteInt(storage, "currenttime", startTime_ != 0, startTime_);
  WriteInt(storage, "timetolive", timeToLive_ != 0, timeToLive_);
  WriteFloat(storage, "time_rate", timeRate_ != 1, timeRate_);
  WriteString(storage, "aliases", !aliases_.empty(), aliases_);
  if (extraParams_) {
    std::string extra = FormatPairList(*extraParams_);
    WriteString(storage, "extraparams", !extra.empty(), extra);
  }
  WriteString(storage, "redefinedparams", !redefinedParams_.empty(), redefinedParams_);
  if (sounds_) SaveObjectToChild(sounds_, storage, "sounds");
  if (function_) SaveObjectToChild(function_, storage, "function_widget");
}

// ---------------------------------------------------------------------------------------------
// Properties

TVariant TAbstractWidget::GetProperty(std::string_view name) const {
  if (size_t slash = name.find('/'); slash != std::string_view::npos) {
    Ref<IWidget> target = FindWidget(name.substr(0, slash));
    return target ? target->GetProperty(name.substr(slash + 1)) : TVariant(TVariant::Null);
  }
  bool found = false;
  TVariant value = GetOwnProperty(name, found);
  if (found) return value;
  if (std::string target; FindAlias(name, target)) {
    if (aliasDepth >= kMaxAliasDepth) return TVariant::Null;
    TAliasDepthGuard guard;
    return GetProperty(target);
  }
  if (extraParams_ && extraParams_->Contains(name)) return extraParams_->GetValue(name);
  return TVariant::Null;
}

void TAbstractWidget::SetProperty(std::string_view name, const TVariant& value) {
  if (size_t slash = name.find('/'); slash != std::string_view::npos) {
    if (Ref<IWidget> target = FindWidget(name.substr(0, slash)))
      target->SetProperty(name.substr(slash + 1), value);
    return;
  }
  if (SetOwnProperty(name, value)) return;
  if (std::string target; FindAlias(name, target)) {
    if (aliasDepth >= kMaxAliasDepth) return;
    TAliasDepthGuard guard;
    SetProperty(target, value);
    return;
  }
  // Only an existing parameter is written; unknown names are ignored.
  if (extraParams_ && extraParams_->Contains(name)) extraParams_->SetValue(name, value);
}

TVariant TAbstractWidget::GetOwnProperty(std::string_view name, bool& found) const {
  found = true;
  if (name == "name") return Name();
  if (name == "currenttime") return currentTime_;
  if (name == "timetolive") return timeToLive_;
  if (name == "time_rate") return timeRate_;
  if (name == "dead") return GetDead();
  if (name == "paused") return GetPaused();
  if (name == "visible") return GetVisible();
  if (name == "z") return GetZ();
  if (name == "anchor_left") return GetAnchorLeft();
  if (name == "anchor_top") return GetAnchorTop();
  if (name == "left") return GetLeft();
  if (name == "top") return GetTop();
  if (name == "width") return GetWidth();
  if (name == "height") return GetHeight();
  if (name == "enabled") return GetEnabled();
  if (name == "tabstop") return GetTabStop();
  if (name == "mousestop") return GetMouseStop();
  if (name == "transparentlevel") return GetTransparentLevel();
  if (name == "owner") return TVariant(Ref<IInterface>(owner_.get()));
  // Reading the picture renders it; the widget itself does not change.
  if (name == "image") return TVariant(const_cast<TAbstractWidget*>(this)->GetImage());
  found = false;
  return TVariant::Null;
}

bool TAbstractWidget::SetOwnProperty(std::string_view name, const TVariant& value) {
  if (name == "name") {
    SetName(value.ToString());
  } else if (name == "currenttime") {
    SetCurrentTime(VariantToInt64(value, currentTime_));
  } else if (name == "timetolive") {
    timeToLive_ = VariantToInt64(value, timeToLive_);
  } else if (name == "time_rate") {
    timeRate_ = VariantToReal(value, timeRate_);
  } else if (name == "dead") {
    SetDead(VariantToBool(value, GetDead()));
  } else if (name == "paused") {
    SetPaused(VariantToBool(value, GetPaused()));
  } else if (name == "visible") {
    SetVisible(VariantToBool(value, GetVisible()));
  } else if (name == "z") {
    SetZ(VariantToInt(value, GetZ()));
  } else if (name == "anchor_left") {
    SetAnchorLeft(VariantToReal(value, GetAnchorLeft()));
  } else if (name == "anchor_top") {
    SetAnchorTop(VariantToReal(value, GetAnchorTop()));
  } else if (name == "enabled") {
    SetEnabled(VariantToBool(value, GetEnabled()));
  } else if (name == "tabstop") {
    SetTabStop(VariantToBool(value, GetTabStop()));
  } else if (name == "mousestop") {
    SetMouseStop(VariantToBool(value, GetMouseStop()));
  } else if (name == "transparentlevel") {
    SetTransparentLevel(VariantToInt(value, GetTransparentLevel()));
  } else {
    return false;
  }
  return true;
}

// An alias is followed only when a backslash stands right before its name in the aliases text,
// so the text has to begin with "\" for its first entry to count.
bool TAbstractWidget::FindAlias(std::string_view name, std::string& target) const {
  if (aliases_.empty() || name.empty()) return false;
  const std::string_view text = aliases_;
  bool named = false;
  for (size_t pos = text.find('\\'); pos != std::string_view::npos;
       pos = text.find('\\', pos + 1)) {
    if (text.substr(pos + 1, name.size()) == name && pos + 1 + name.size() < text.size() &&
        text[pos + 1 + name.size()] == '=') {
      named = true;
      break;
    }
  }
  if (!named || !FindParamValue(text, name, '\\', '=', target)) return false;
  return target != name;
}

void TAbstractWidget::SetExtraParam(std::string_view name, const TVariant& value) {
  if (!extraParams_) extraParams_ = NewObject<TParamCollection>();
  extraParams_->SetValue(name, value);
}

void TAbstractWidget::SetCurrentTime(int64_t time) {
  if (time != currentTime_) changed_ = true;
  currentTime_ = time;
}

void TAbstractWidget::SetTransparentLevel(int level) {
  level = std::clamp(level, 0, 255);
  if (level != transparentLevel_) changed_ = true;
  transparentLevel_ = level;
}

// ---------------------------------------------------------------------------------------------
// Owner and life

void TAbstractWidget::SetOwner(IWidgetOwner* owner) {
  owner_ = owner;
  ApplyRedefinedParams();
  functionHost_.Attach(function_);
  functionHost_.Start(*this);
}

// Each entry sets its target property (the name) to the current value of its source property
// (the value, which may be a path such as "../score").
void TAbstractWidget::ApplyRedefinedParams() {
  if (redefinedParams_.empty()) return;
  for (const auto& [target, source] : ParseParamPairs(redefinedParams_)) {
    try {
      SetProperty(target, GetProperty(source));
    } catch (const std::exception& e) {
      Log("widget '%s': redefined parameter \"%s\" skipped: %s", LogName().c_str(), target.c_str(),
          e.what());
    }
  }
}

void TAbstractWidget::Detach() {
  Ref<IWidget> keep(this);  // the owner may hold the last other reference
  functionHost_.Detach();
  owner_.reset();
}

void TAbstractWidget::Refresh() {
  changed_ = true;
}

void TAbstractWidget::ClearReferences() {
  extraParams_.reset();
  sounds_.reset();
  functionHost_.Detach();
  function_.reset();
}

void TAbstractWidget::SetFunction(const Ref<IFunction>& function) {
  functionHost_.Detach();
  function_ = function;
  if (owner_ && function_) {
    functionHost_.Attach(function_);
    functionHost_.Start(*this);
  }
}

Ref<IEngine> TAbstractWidget::GetEngine() const {
  return owner_ ? owner_->GetEngine() : Ref<IEngine>();
}

void TAbstractWidget::ShowWidget(bool show) {
  SetVisible(show);
  SetPaused(!show);
}

// ---------------------------------------------------------------------------------------------
// Time

void TAbstractWidget::AdvanceTime(int dt) {
  if (timeRate_ != 1) dt = ClampToInt(RoundHalfEven(timeRate_ * dt));
  DoAdvanceTime(dt);
}

void TAbstractWidget::DoAdvanceTime(int dt) {
  advanced_ = true;
  currentTime_ = SaturatingAdd(currentTime_, dt);
  if (timeToLive_ > 0 && currentTime_ >= timeToLive_) SetDead(true);
  StepFunction();
}

// Push and pull are meant as the function library means them (TFunctionHost): push copies the
// widget's properties into the function's cells, pull copies the results back into the
// widget. Notes on the widget tree that say it the other way round mean the same steps.
void TAbstractWidget::StepFunction() {
  functionHost_.Step(*this);
}

void TAbstractWidget::Restart() {
  currentTime_ = 0;
  paused_ = false;
  if (const Ref<IFunction>& f = functionHost_.Function()) {
    functionHost_.Push(*this);
    f->Prepare();
    functionHost_.Pull(*this);
  }
  DoAdvanceTime(0);
}

// ---------------------------------------------------------------------------------------------
// Geometry, drawing, input

Ref<IWidget> TAbstractWidget::GetChild(const TVariant& key) const {
  (void)key;
  return {};
}

TPoint TAbstractWidget::ScreenToLocal(TPoint point) const {
  return owner_ ? owner_->ScreenToChildLocal(point) : point;
}

TRect TAbstractWidget::GetBounds() const {
  const double left = GetLeft();
  const double top = GetTop();
  return {RoundCoord(left), RoundCoord(top), RoundCoord(left + GetWidth()),
          RoundCoord(top + GetHeight())};
}

void TAbstractWidget::Draw(ISurface* surface, int x, int y) {
  (void)surface;
  (void)x;
  (void)y;
}

Ref<IWidget> TAbstractWidget::WidgetAtPos(TPoint point) {
  if (GetVisible() && GetMouseStop() && ContainsPoint(point, false)) return Ref<IWidget>(this);
  return {};
}

bool TAbstractWidget::ContainsPoint(TPoint point, bool ignoreVisibility) {
  if (!GetVisible() && !ignoreVisibility) return false;
  const TRect b = GetBounds();
  return b.left <= point.x && point.x <= b.right && b.top <= point.y && point.y <= b.bottom;
}

bool TAbstractWidget::HandleMouse(uint32_t message, TPoint point, uint32_t keys) {
  (void)message;
  (void)point;
  (void)keys;
  return false;
}

bool TAbstractWidget::HandleKey(uint32_t message, uint32_t key, uint32_t keyData) {
  (void)message;
  (void)key;
  (void)keyData;
  return false;
}

void TAbstractWidget::HandleMessage(int code, const TVariant& data) {
  (void)code;
  (void)data;
}

void TAbstractWidget::UpdateDirty(bool forceOld, bool forceNew) {
  (void)forceOld;
  (void)forceNew;
  advanced_ = false;
  invalidated_ = false;
}

void TAbstractWidget::InvalidateScreenRect(const TRect& rect) const {
  if (owner_ && !rect.IsEmpty()) owner_->InvalidateRect(rect);
}

// ---------------------------------------------------------------------------------------------
// Sounds

TAudioHandle TAbstractWidget::PlaySound(std::string_view name, bool override, int volume, int pan) {
  if (!sounds_) return 0;
  Ref<ISound> sound = sounds_->Get(TVariant(name));
  if (!sound) return 0;
  Ref<IEngine> engine = GetEngine();
  if (!engine) return 0;
  if (!override) return engine->PlaySound(sound);
  // The given volume and pan hold for this one play only.
  const int oldVolume = sound->GetVolume();
  const int oldPan = sound->GetPan();
  sound->SetVolume(volume);
  sound->SetPan(pan);
  TAudioHandle channel = engine->PlaySound(sound);
  sound->SetVolume(oldVolume);
  sound->SetPan(oldPan);
  return channel;
}

void TAbstractWidget::StopSound(std::string_view name) {
  if (!sounds_) return;
  Ref<ISound> sound = sounds_->Get(TVariant(name));
  Ref<IEngine> engine = GetEngine();
  if (sound && engine) engine->StopSound(sound);
}

// ---------------------------------------------------------------------------------------------
// TVisualWidget

void TVisualWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TAbstractWidget::LoadProperties(storage);
  TKeyReader keys(storage, LogName());
  visible_ = keys.Bool("visible", false);
  z_ = keys.Int("z", 0);
  anchorLeft_ = ClampAnchor(keys.Float("anchor_left", 0));
  anchorTop_ = ClampAnchor(keys.Float("anchor_top", 0));
  mouseStop_ = keys.Bool("mousestop", false);
}

void TVisualWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TAbstractWidget::SaveProperties(storage);
  WriteBool(storage, "visible", true, visible_);
  WriteInt(storage, "z", true, z_);
  WriteFloat(storage, "anchor_left", true, anchorLeft_);
  WriteFloat(storage, "anchor_top", true, anchorTop_);
  WriteBool(storage, "mousestop", true, mouseStop_);
}

void TVisualWidget::SetAnchorLeft(double left) {
  left = ClampAnchor(left);
  if (left == anchorLeft_) return;
  anchorLeft_ = left;
  moved_ = true;
}

void TVisualWidget::SetAnchorTop(double top) {
  top = ClampAnchor(top);
  if (top == anchorTop_) return;
  anchorTop_ = top;
  moved_ = true;
}

TPoint TVisualWidget::RoundedAnchors() const {
  return {RoundCoord(anchorLeft_), RoundCoord(anchorTop_)};
}

Ref<ISurface> TVisualWidget::GetImage() {
  Ref<IEngine> engine = GetEngine();
  if (!engine) return {};
  Ref<ISurface> image = engine->CreateSurface();
  if (!image) return {};
  const TRect bounds = GetBounds();
  image->SetSize(bounds.Width(), bounds.Height());
  image->SetHasAlpha(true);
  Draw(image.get(), RoundCoord(GetAnchorLeft() - bounds.left),
       RoundCoord(GetAnchorTop() - bounds.top));
  return image;
}

void TVisualWidget::UpdateDirty(bool forceOld, bool forceNew) {
  VisualUpdateDirty(forceOld, forceNew);
}

void TVisualWidget::VisualUpdateDirty(bool forceOld, bool forceNew, const TRect* screenRect) {
  SetAdvanced(false);
  SetInvalidated(false);
  if (!Owner()) return;
  TRect current;
  if (screenRect) {
    current = *screenRect;
  } else {
    const TPoint origin = ScreenToLocal({0, 0});
    current = GetBounds().Offset(-origin.x, -origin.y);
  }
  const bool visible = GetVisible();
  bool invalidated = false;
  if (wasVisible_ && (moved_ || !visible || forceOld)) {
    InvalidateScreenRect(prevScreenRect_);
    if (!visible) invalidated = true;
  }
  if (visible && !GetDead() &&
      (moved_ || NeverDrawn() || GetChanged() || forceNew || !wasVisible_)) {
    InvalidateScreenRect(current);
    invalidated = true;
  }
  SetInvalidated(invalidated);
  SetNeverDrawn(false);
  moved_ = false;
  SetChanged(false);
  prevScreenRect_ = current;
  wasVisible_ = visible;
}

// ---------------------------------------------------------------------------------------------
// TSingleWidget

void TSingleWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TVisualWidget::LoadProperties(storage);
  TKeyReader keys(storage, LogName());
  width_ = ClampSize(keys.Int("width", 0));
  height_ = ClampSize(keys.Int("height", 0));
}

void TSingleWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TVisualWidget::SaveProperties(storage);
  WriteInt(storage, "width", true, width_);
  WriteInt(storage, "height", true, height_);
}

void TSingleWidget::SetWidth(int width) {
  width = ClampSize(width);
  if (width == width_) return;
  width_ = width;
  SetMoved();
}

void TSingleWidget::SetHeight(int height) {
  height = ClampSize(height);
  if (height == height_) return;
  height_ = height;
  SetMoved();
}

void TSingleWidget::SetProperty(std::string_view name, const TVariant& value) {
  TVisualWidget::SetProperty(name, value);
  if (name == "width") SetWidth(VariantToInt(value, GetWidth()));
  if (name == "height") SetHeight(VariantToInt(value, GetHeight()));
}

}  // namespace lumessa
