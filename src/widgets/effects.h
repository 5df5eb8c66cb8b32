// Appearance effects and transitions: a group plays a named effect in place of itself. It takes
// a picture of itself, freezes its own clock and its children, and lets an effect widget
// animate the picture until the effect reports that it has finished.
//
//   IAppearanceEffect(+Collection)    an effect, and the named effects of a group
//   TAbstractEffectWdiget             the effect group: StartEffect / FinishEffect
//   TAppearanceEffectWdiget           "appearance_effect_widget": "show_effect" and
//                                     "hide_effect" tied to its visibility
//   TAppearanceEffectCollection       "appearance_effects": the effects, one plays at a time
//   TAppearanceEffect                 a decorator that runs for "durationtime"
//   TFunctionAppearanceEffect         "func_appearance_effect": hands the picture over through
//                                     a property path ("surfaceparamname")
//   TTransitionEffectWdiget           two surfaces and a duration for its children
//   TSequienceTransitionEffectWdiget  "sequience_transition_effect": shows its children one
//                                     after another
// (The class names are spelled as the data vocabulary has always spelled them.)
#pragma once

#include <string>

#include "widgets/decorate_widget.h"
#include "widgets/widget_group.h"

namespace lumessa {

// State of an effect and of the effect collection: -1 never started, 0 running, 1 finished.
enum TEffectState : int { esNone = -1, esRunning = 0, esFinished = 1 };

class IAppearanceEffect : public virtual IWidget {
 public:
  // Plays "sound_effect", hands the picture over, keeps a copy of the parameters, restarts.
  virtual void Start(const Ref<ISurface>& surface, const Ref<IParamCollection>& params) = 0;
  virtual int GetState() const = 0;
  virtual void SetState(int state) = 0;
};

class IAppearanceEffectCollection : public virtual IWidget {
 public:
  // A child of that name exists.
  virtual bool HasEffect(std::string_view name) const = 0;
  // Starts the named effect (the state passes through 1; it stays 1 when there is none).
  virtual void Start(std::string_view name, const Ref<ISurface>& surface,
                     const Ref<IParamCollection>& params) = 0;
  virtual int GetState() const = 0;
  virtual void SetState(int state) = 0;
};

class TAbstractEffectWdiget : public TVisualGroupWidget {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;

  // Finishes a playing effect, then, when effects are enabled and the group has an owner and
  // an effect of that name, takes the group's picture and starts the effect on it.
  void StartEffect(std::string_view name);
  // Back to the group itself: redraws it and reports the end of the remembered effect.
  void FinishEffect();
  bool GetApplying() const { return applying_; }
  const std::string& GetEffectName() const { return effectName_; }
  const Ref<IAppearanceEffectCollection>& GetEffects() const { return effects_; }
  void SetEffects(const Ref<IAppearanceEffectCollection>& effects);
  bool GetEnableEffects() const { return enableEffects_; }
  void SetEnableEffects(bool enable) { enableEffects_ = enable; }
  bool GetSkipProcessMouse() const { return skipMouse_; }
  void SetSkipProcessMouse(bool skip) { skipMouse_ = skip; }

  // While an effect plays these answer for the effect instead of the children.
  void Draw(ISurface* surface, int x, int y) override;
  TRect GetBounds() const override;
  bool GetMouseStop() const override;
  TPoint ScreenToChildLocal(TPoint point) const override;
  void UpdateDirty(bool forceOld, bool forceNew) override;

  void SetOwner(IWidgetOwner* owner) override;
  void Detach() override;
  void ClearReferences() override;
  void ResetAdvanced() override;

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  // While an effect plays, only the effects advance.
  void DoAdvanceTime(int dt) override;
  // While an effect plays the bounds are the effect's.
  bool BoundsAreChildrenUnion() const override { return !applying_; }
  // Hooks for subclasses; nothing here.
  virtual void EffectStarted(std::string_view name, bool applying);
  virtual void EffectFinished(std::string_view name);

 private:
  Ref<IAppearanceEffectCollection> effects_;
  bool enableEffects_ = true;
  bool skipMouse_ = true;
  bool applying_ = false;
  std::string effectName_;
  double offsetX_ = 0;  // group bounds' left and top minus the anchors, at the start
  double offsetY_ = 0;
  bool justFinished_ = false;
};

class TAppearanceEffectWdiget : public TAbstractEffectWdiget {
 public:
  // With effects: a change of visibility plays "show_effect" (visible at once) or
  // "hide_effect" (visible until it ends); a show or hide still playing is finished first.
  void SetVisible(bool visible) override;
  // The visibility the running show or hide leads to.
  bool GetTargetVisible() const { return targetVisible_; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void EffectStarted(std::string_view name, bool applying) override;
  void EffectFinished(std::string_view name) override;

 private:
  bool targetVisible_ = false;
};

class TAppearanceEffectCollection : public TVisualGroupWidget,
                                    public virtual IAppearanceEffectCollection {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;
  void ClearReferences() override;

  bool HasEffect(std::string_view name) const override;
  void Start(std::string_view name, const Ref<ISurface>& surface,
             const Ref<IParamCollection>& params) override;
  int GetState() const override { return state_; }
  // Finishing (1) hides, pauses and drops the current effect.
  void SetState(int state) override;
  const Ref<IAppearanceEffect>& GetCurrent() const { return current_; }

 protected:
  // The collection visible, every effect hidden and paused.
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  // The children's step, then the running state follows the current effect's "state".
  void DoAdvanceTime(int dt) override;

 private:
  int state_ = esNone;
  Ref<IAppearanceEffect> current_;
};

class TAppearanceEffect : public TBehaviourWidget, public virtual IAppearanceEffect {
 public:
  // "durationtime" and "state" first, then the start parameters, then the decorator's names
  // (a path such as "picture/surface" reaches the decorated widget).
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;
  // State 0, then the widget's restart.
  void Restart() override;
  void ClearReferences() override;

  void Start(const Ref<ISurface>& surface, const Ref<IParamCollection>& params) override;
  int GetState() const override { return state_; }
  void SetState(int state) override { state_ = state; }
  int GetDuration() const { return duration_; }
  void SetDuration(int ms) { duration_ = ms; }
  const Ref<IParamCollection>& GetStartParams() const { return startParams_; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  // The decorator's step; finished once the time reaches the duration.
  void DoAdvanceTime(int dt) override;
  // Hands the picture to the effect; every concrete effect decides how.
  virtual void SetSurface(const Ref<ISurface>& surface);

 private:
  int state_ = esNone;
  int duration_ = 0;
  Ref<IParamCollection> startParams_;
};

class TFunctionAppearanceEffect : public TAppearanceEffect {
 public:
  const std::string& GetSurfaceParamName() const { return surfaceParamName_; }
  void SetSurfaceParamName(std::string_view name) { surfaceParamName_ = name; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  // Writes the picture to the property path "surfaceparamname" of the effect itself.
  void SetSurface(const Ref<ISurface>& surface) override;

 private:
  std::string surfaceParamName_;
};

class TTransitionEffectWdiget : public TVisualGroupWidget {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;

  int GetDuration() const { return duration_; }
  void SetDuration(int ms) { duration_ = ms; }
  const Ref<ISurface>& GetSurface1() const { return surface1_; }
  const Ref<ISurface>& GetSurface2() const { return surface2_; }
  void SetSurfaces(const Ref<ISurface>& first, const Ref<ISurface>& second);
  void ClearReferences() override;

 protected:
  // Every child hidden and paused.
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  int duration_ = 0;
  Ref<ISurface> surface1_;
  Ref<ISurface> surface2_;
};

class TSequienceTransitionEffectWdiget : public TTransitionEffectWdiget {
 public:
  // The child shown (-1 before the first).
  int GetCurrentIndex() const { return currentIndex_; }
  // Hides and pauses the child shown, then shows child i (when it exists) with both surfaces.
  void SelectIndex(int index);

 protected:
  // The group step, then child round(count * time / duration) is shown.
  void DoAdvanceTime(int dt) override;

 private:
  int currentIndex_ = -1;
};

}  // namespace lumessa
