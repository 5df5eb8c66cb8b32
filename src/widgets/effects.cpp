#include "widgets/effects.h"

#include "engine/log.h"
#include "persistence/param_collection.h"
#include "widgets/widget_storage.h"

namespace lumessa {

namespace {

constexpr std::string_view kShowEffect = "show_effect";
constexpr std::string_view kHideEffect = "hide_effect";

// Hidden and paused: how effects and transition children wait for their turn.
void HideAndPauseChildren(TGroupWidget& group) {
  for (const auto& entry : group.Children().Entries()) {
    entry.widget->SetVisible(false);
    entry.widget->SetPaused(true);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TAbstractEffectWdiget

void TAbstractEffectWdiget::LoadProperties(const Ref<IHierStorage>& storage) {
  TVisualGroupWidget::LoadProperties(storage);
  TKeyReader keys(storage, LogName());
  enableEffects_ = keys.Bool("enable_effects", true);
  skipMouse_ = keys.Bool("skip_process_mouse", true);
  Ref<IAppearanceEffectCollection> effects;
  if (storage->GetChildCount("effects") > 0) {
    Ref<TAppearanceEffectCollection> collection = NewObject<TAppearanceEffectCollection>();
    collection->Load(storage->GetChild("effects", 0));
    effects = collection;
  }
  SetEffects(effects);
}

void TAbstractEffectWdiget::SaveProperties(const Ref<IHierStorage>& storage) {
  TVisualGroupWidget::SaveProperties(storage);
  WriteBool(storage, "enable_effects", !enableEffects_, enableEffects_);
  WriteBool(storage, "skip_process_mouse", !skipMouse_, skipMouse_);
  if (effects_) SaveObjectToChild(effects_, storage, "effects");
}

TVariant TAbstractEffectWdiget::GetProperty(std::string_view name) const {
  TVariant value = TVisualGroupWidget::GetProperty(name);
  if (name == "applyingeffect") value = applying_;
  if (name == "effect_state") value = effects_ ? effects_->GetState() : int(esNone);
  if (name == "enable_effects") value = enableEffects_;
  if (name == "skip_process_mouse") value = skipMouse_;
  return value;
}

void TAbstractEffectWdiget::SetProperty(std::string_view name, const TVariant& value) {
  TVisualGroupWidget::SetProperty(name, value);
  if (name == "enable_effects") enableEffects_ = VariantToBool(value, enableEffects_);
  if (name == "skip_process_mouse") skipMouse_ = VariantToBool(value, skipMouse_);
}

void TAbstractEffectWdiget::SetEffects(const Ref<IAppearanceEffectCollection>& effects) {
  if (effects_ == effects) return;
  if (applying_) FinishEffect();
  if (effects_) effects_->Detach();
  effects_ = effects;
  if (effects_ && Owner()) effects_->SetOwner(this);
}

void TAbstractEffectWdiget::StartEffect(std::string_view name) {
  const std::string effect(name);  // the caller's text may live in the remembered name
  if (applying_) FinishEffect();
  if (enableEffects_ && effects_ && Owner() && effects_->HasEffect(effect)) {
    const TRect bounds = GetBounds();
    offsetX_ = bounds.left - GetAnchorLeft();
    offsetY_ = bounds.top - GetAnchorTop();
    Ref<ISurface> picture = GetImage();
    effects_->Start(effect, picture, nullptr);
    applying_ = effects_->GetState() == esRunning;
  }
  if (applying_) {
    SetMoved();
    SetChanged(true);
    effectName_ = effect;
  }
  EffectStarted(effect, applying_);
}

void TAbstractEffectWdiget::FinishEffect() {
  applying_ = false;
  SetMoved();
  SetChanged(true);
  justFinished_ = true;
  const std::string name = std::move(effectName_);
  effectName_.clear();
  EffectFinished(name);
}

void TAbstractEffectWdiget::EffectStarted(std::string_view name, bool applying) {
  (void)name;
  (void)applying;
}

void TAbstractEffectWdiget::EffectFinished(std::string_view name) {
  (void)name;
}

void TAbstractEffectWdiget::DoAdvanceTime(int dt) {
  if (!applying_) {
    TVisualGroupWidget::DoAdvanceTime(dt);
    return;
  }
  // The group's clock and its children stand still while the effect plays.
  SetAdvanced(true);
  Ref<IAppearanceEffectCollection> effects = effects_;
  effects->AdvanceTime(dt);
  if (applying_ && effects->GetState() != esRunning) FinishEffect();
}

void TAbstractEffectWdiget::Draw(ISurface* surface, int x, int y) {
  if (!applying_) {
    TVisualGroupWidget::Draw(surface, x, y);
    return;
  }
  effects_->Draw(surface, RoundCoord(x + offsetX_ + effects_->GetAnchorLeft()),
                 RoundCoord(y + offsetY_ + effects_->GetAnchorTop()));
}

TRect TAbstractEffectWdiget::GetBounds() const {
  if (!applying_) return TVisualGroupWidget::GetBounds();
  return effects_->GetBounds().Offset(RoundCoord(GetAnchorLeft() + offsetX_),
                                      RoundCoord(GetAnchorTop() + offsetY_));
}

bool TAbstractEffectWdiget::GetMouseStop() const {
  if (applying_ && skipMouse_) return false;
  return TVisualGroupWidget::GetMouseStop();
}

TPoint TAbstractEffectWdiget::ScreenToChildLocal(TPoint point) const {
  TPoint p = TVisualGroupWidget::ScreenToChildLocal(point);
  if (applying_) {
    p.x -= RoundCoord(offsetX_);
    p.y -= RoundCoord(offsetY_);
  }
  return p;
}

// The effect's area is redrawn while it plays and once more after it ended (its last picture
// has to go).
void TAbstractEffectWdiget::UpdateDirty(bool forceOld, bool forceNew) {
  TVisualGroupWidget::UpdateDirty(forceOld, forceNew);
  if (effects_ && (applying_ || justFinished_)) {
    effects_->UpdateDirty(forceOld || justFinished_, forceNew || justFinished_);
    if (effects_->GetInvalidated()) SetInvalidated(true);
  }
  justFinished_ = false;
}

void TAbstractEffectWdiget::SetOwner(IWidgetOwner* owner) {
  TVisualGroupWidget::SetOwner(owner);
  if (effects_) effects_->SetOwner(this);
}

void TAbstractEffectWdiget::Detach() {
  Ref<IWidget> keep(this);
  if (effects_) effects_->Detach();
  TVisualGroupWidget::Detach();
}

void TAbstractEffectWdiget::ClearReferences() {
  TVisualGroupWidget::ClearReferences();
  if (effects_) {
    effects_->Detach();
    effects_->ClearReferences();
  }
  effects_.reset();
  applying_ = false;
}

void TAbstractEffectWdiget::ResetAdvanced() {
  TVisualGroupWidget::ResetAdvanced();
  if (effects_) effects_->ResetAdvanced();
}

// ---------------------------------------------------------------------------------------------
// TAppearanceEffectWdiget

void TAppearanceEffectWdiget::LoadProperties(const Ref<IHierStorage>& storage) {
  TAbstractEffectWdiget::LoadProperties(storage);
  targetVisible_ = GetVisible();
}

void TAppearanceEffectWdiget::SetVisible(bool visible) {
  if (!GetEffects()) {
    TAbstractEffectWdiget::SetVisible(visible);
    targetVisible_ = visible;
    return;
  }
  // A show or hide still playing is completed at once.
  if (GetApplying() && GetVisible() != targetVisible_) FinishEffect();
  if (visible == GetVisible()) return;
  targetVisible_ = visible;
  if (visible) TAbstractEffectWdiget::SetVisible(true);
  StartEffect(visible ? kShowEffect : kHideEffect);
}

void TAppearanceEffectWdiget::EffectStarted(std::string_view name, bool applying) {
  if ((name == kShowEffect || name == kHideEffect) && !applying)
    TAbstractEffectWdiget::SetVisible(targetVisible_);
}

void TAppearanceEffectWdiget::EffectFinished(std::string_view name) {
  if (name == kShowEffect || name == kHideEffect) TAbstractEffectWdiget::SetVisible(targetVisible_);
}

// ---------------------------------------------------------------------------------------------
// TAppearanceEffectCollection

void TAppearanceEffectCollection::LoadProperties(const Ref<IHierStorage>& storage) {
  TVisualGroupWidget::LoadProperties(storage);
  TVisualGroupWidget::SetVisible(true);
  HideAndPauseChildren(*this);
}

TVariant TAppearanceEffectCollection::GetProperty(std::string_view name) const {
  TVariant value = TVisualGroupWidget::GetProperty(name);
  if (name == "state") value = state_;
  return value;
}

void TAppearanceEffectCollection::SetProperty(std::string_view name, const TVariant& value) {
  TVisualGroupWidget::SetProperty(name, value);
  if (name == "state") SetState(VariantToInt(value, state_));
}

void TAppearanceEffectCollection::ClearReferences() {
  current_.reset();
  TVisualGroupWidget::ClearReferences();
}

bool TAppearanceEffectCollection::HasEffect(std::string_view name) const {
  return Children().IndexOf(name) >= 0;
}

void TAppearanceEffectCollection::Start(std::string_view name, const Ref<ISurface>& surface,
                                        const Ref<IParamCollection>& params) {
  SetState(esFinished);
  current_ = Query<IAppearanceEffect>(Children().GetByName(name));
  if (!current_) {
    Log("effects '%s': no effect \"%s\"", LogName().c_str(), std::string(name).c_str());
    return;
  }
  SetState(esRunning);
  Ref<IAppearanceEffect> effect = current_;
  effect->SetVisible(true);
  effect->SetPaused(false);
  effect->Start(surface, params);
  SetState(effect->GetState());
}

void TAppearanceEffectCollection::SetState(int state) {
  if (state == state_) return;
  state_ = state;
  if (state_ == esFinished && current_) {
    Ref<IAppearanceEffect> effect = std::move(current_);
    effect->SetVisible(false);
    effect->SetPaused(true);
  }
}

// The state follows the current effect once per step; anything unreadable ends the effect.
void TAppearanceEffectCollection::DoAdvanceTime(int dt) {
  TVisualGroupWidget::DoAdvanceTime(dt);
  if (state_ != esRunning) return;
  TVariant state = current_ ? current_->GetProperty("state") : TVariant(TVariant::Null);
  if (!current_ || state.IsEmpty() || !state.ConvertsToNumber())
    SetState(esFinished);
  else
    SetState(VariantToInt(state, esFinished));
}

// ---------------------------------------------------------------------------------------------
// TAppearanceEffect

void TAppearanceEffect::LoadProperties(const Ref<IHierStorage>& storage) {
  TBehaviourWidget::LoadProperties(storage);
  TKeyReader keys(storage, LogName());
  duration_ = keys.Int("durationtime", 0);
}

void TAppearanceEffect::SaveProperties(const Ref<IHierStorage>& storage) {
  TBehaviourWidget::SaveProperties(storage);
  WriteInt(storage, "durationtime", true, duration_);
}

TVariant TAppearanceEffect::GetProperty(std::string_view name) const {
  if (name == "durationtime") return duration_;
  if (name == "state") return state_;
  if (startParams_ && startParams_->Contains(name)) return startParams_->GetValue(name);
  return TBehaviourWidget::GetProperty(name);
}

void TAppearanceEffect::SetProperty(std::string_view name, const TVariant& value) {
  if (name == "durationtime") {
    duration_ = VariantToInt(value, duration_);
  } else if (name == "state") {
    state_ = VariantToInt(value, state_);
  } else if (startParams_ && startParams_->Contains(name)) {
    startParams_->SetValue(name, value);
  } else {
    TBehaviourWidget::SetProperty(name, value);
  }
}

void TAppearanceEffect::Start(const Ref<ISurface>& surface, const Ref<IParamCollection>& params) {
  PlaySound("sound_effect", false, 100, 0);
  SetSurface(surface);
  if (params) startParams_ = CloneParams(params);
  Restart();
}

void TAppearanceEffect::Restart() {
  state_ = esRunning;
  TBehaviourWidget::Restart();
}

void TAppearanceEffect::ClearReferences() {
  TBehaviourWidget::ClearReferences();
  startParams_.reset();
}

void TAppearanceEffect::DoAdvanceTime(int dt) {
  TBehaviourWidget::DoAdvanceTime(dt);
  if (GetCurrentTime() >= duration_) state_ = esFinished;
}

void TAppearanceEffect::SetSurface(const Ref<ISurface>& surface) {
  (void)surface;
}

// ---------------------------------------------------------------------------------------------
// TFunctionAppearanceEffect

void TFunctionAppearanceEffect::LoadProperties(const Ref<IHierStorage>& storage) {
  TAppearanceEffect::LoadProperties(storage);
  surfaceParamName_ = ReadString(storage, "surfaceparamname");
}

void TFunctionAppearanceEffect::SaveProperties(const Ref<IHierStorage>& storage) {
  TAppearanceEffect::SaveProperties(storage);
  WriteString(storage, "surfaceparamname", !surfaceParamName_.empty(), surfaceParamName_);
}

void TFunctionAppearanceEffect::SetSurface(const Ref<ISurface>& surface) {
  if (!surfaceParamName_.empty()) SetProperty(surfaceParamName_, TVariant(surface));
}

// ---------------------------------------------------------------------------------------------
// TTransitionEffectWdiget

void TTransitionEffectWdiget::LoadProperties(const Ref<IHierStorage>& storage) {
  TVisualGroupWidget::LoadProperties(storage);
  TKeyReader keys(storage, LogName());
  duration_ = keys.Int("durationtime", 0);
  HideAndPauseChildren(*this);
}

void TTransitionEffectWdiget::SaveProperties(const Ref<IHierStorage>& storage) {
  TVisualGroupWidget::SaveProperties(storage);
  WriteInt(storage, "durationtime", true, duration_);
}

TVariant TTransitionEffectWdiget::GetProperty(std::string_view name) const {
  TVariant value = TVisualGroupWidget::GetProperty(name);
  if (name == "durationtime") value = duration_;
  if (name == "surface1") value = TVariant(surface1_);
  if (name == "surface2") value = TVariant(surface2_);
  return value;
}

void TTransitionEffectWdiget::SetProperty(std::string_view name, const TVariant& value) {
  TVisualGroupWidget::SetProperty(name, value);
  if (name == "durationtime") duration_ = VariantToInt(value, duration_);
  if (name == "surface1") surface1_ = value.ToInterface<ISurface>();
  if (name == "surface2") surface2_ = value.ToInterface<ISurface>();
}

void TTransitionEffectWdiget::SetSurfaces(const Ref<ISurface>& first, const Ref<ISurface>& second) {
  surface1_ = first;
  surface2_ = second;
}

void TTransitionEffectWdiget::ClearReferences() {
  TVisualGroupWidget::ClearReferences();
  surface1_.reset();
  surface2_.reset();
}

// ---------------------------------------------------------------------------------------------
// TSequienceTransitionEffectWdiget

void TSequienceTransitionEffectWdiget::DoAdvanceTime(int dt) {
  TTransitionEffectWdiget::DoAdvanceTime(dt);
  const int count = Children().Count();
  if (count > 0 && GetDuration() > 0)
    SelectIndex(RoundCoord(double(count) * double(GetCurrentTime()) / GetDuration()));
}

void TSequienceTransitionEffectWdiget::SelectIndex(int index) {
  if (index == currentIndex_) return;
  if (Ref<IWidget> shown = Children().GetByIndex(currentIndex_)) {
    shown->SetVisible(false);
    shown->SetPaused(true);
  }
  currentIndex_ = index;
  if (Ref<IWidget> next = Children().GetByIndex(currentIndex_)) {
    next->SetProperty("surface1", TVariant(GetSurface1()));
    next->SetProperty("surface2", TVariant(GetSurface2()));
    next->SetVisible(true);
    next->SetPaused(false);
  }
}

}  // namespace lumessa
