// Widgets that show image resources of the catalogue.
//
//   TResourceWidget            the resource name and the engine it is looked up through
//   TImageWidget               "image_widget": a part of an image, copied or as a colour
//   TBaseAnimationWidget       frames cut from a grid, played in phases (delay, cycle, delay...)
//   TAnimationWidget           "animation_widget": frames of equal length
//   TSequenceAnimationWidget   "sequence_animation_widget": a list of frames with durations
//   TBlinkWidget               "blink_widget": transparency rising to a peak and falling again
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "widgets/abstract_widget.h"

namespace lumessa {

class TResourceWidget : public TSingleWidget {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;
  // Takes the engine from the owner.
  void SetOwner(IWidgetOwner* owner) override;
  // Drops the engine.
  void Detach() override;
  void ClearReferences() override;

  const std::string& GetResourceName() const { return resourceName_; }
  // A different name marks the widget changed.
  void SetResourceName(std::string_view name);
  // The resource by name, asked of the engine each time (resources are not held); none without
  // an engine or such a resource.
  Ref<IResource> FindResource() const;

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  // After the resource name changed (the text widget lays out again).
  virtual void OnResourceChanged() {}
  // Says once on the log that the resource is missing or of the wrong kind.
  void LogMissingResource(const char* expected) const;
  // The engine taken from the owner (none while the widget has no owner).
  const Ref<IEngine>& ResourceEngine() const { return engine_; }

 private:
  std::string resourceName_;
  Ref<IEngine> engine_;
  mutable bool missingLogged_ = false;
};

class TImageWidget : public TResourceWidget {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;
  // The source rectangle of the image, copied or as the fill colour through its shape.
  void Draw(ISurface* surface, int x, int y) override;
  // The rectangle test, then the image pixel under the point must not be transparent.
  bool ContainsPoint(TPoint point, bool ignoreVisibility) override;

  int GetResourceLeft() const { return resourceLeft_; }
  int GetResourceTop() const { return resourceTop_; }
  // A different origin marks the widget changed.
  void SetResourceOrigin(int left, int top);
  int GetDrawMode() const { return drawMode_; }
  void SetDrawMode(int mode);
  int GetBlendingMode() const { return blendingMode_; }
  void SetBlendingMode(int mode);
  uint32_t GetFillColor() const { return fillColor_; }
  void SetFillColor(uint32_t color);

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  // The part of the image shown: (resourceleft, resourcetop, +width, +height) here, the current
  // frame for animations. Empty when nothing is shown.
  virtual TRect SourceRect() const;
  // The image drawing for a given source rectangle.
  void DrawImage(ISurface* surface, int x, int y, const TRect& source);

 private:
  int resourceLeft_ = 0;
  int resourceTop_ = 0;
  int drawMode_ = dmCopyRect;
  int blendingMode_ = bmNormal;
  uint32_t fillColor_ = 0;
};

// The phases every animated widget plays: 0 start delay, 1 playing, 2 delay between cycles,
// 3 finished. A remainder left when a delay ends is played in the same step.
class TPlayback {
 public:
  int startDelay = 0;
  int cycleDelay = 0;
  bool loop = false;
  bool active = true;
  int phase = 0;

  // What the widget shows and how long a cycle is.
  class IHooks {
   public:
    virtual int64_t CycleLength() const = 0;
    virtual void ShowStart() = 0;
    // The picture for time t of phase 1 (0 <= t < cycle length).
    virtual void ShowTime(int64_t t) = 0;
    virtual void ShowEnd() = 0;
    // A cycle ended with loop on; true when that finished the widget.
    virtual bool CycleEnded() { return false; }

   protected:
    ~IHooks() = default;
  };

  // One step at the widget's (already advanced) time, which it folds into the phases.
  void Play(int64_t& time, IHooks& hooks);
  // Phase 0, active.
  void Revive() {
    phase = 0;
    active = true;
  }
  // Active false, phase 3, the end picture.
  void Finish(IHooks& hooks);
};

class TBaseAnimationWidget : public TImageWidget, protected TPlayback::IHooks {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;
  // Active and phase 0 again, then the widget's restart.
  void Restart() override;

  // The grid frame shown.
  int GetCurrentFrame() const { return currentFrame_; }
  int GetFramesCount() const { return framesCount_; }
  const TPlayback& Playback() const { return playback_; }
  bool GetLoop() const { return playback_.loop; }
  // Setting loop revives a finished animation.
  void SetLoop(bool loop);
  bool GetReverse() const { return reverse_; }
  void SetReverse(bool reverse) { reverse_ = reverse; }
  bool GetStopOnFirst() const { return stopOnFirst_; }
  void SetStopOnFirst(bool stop) { stopOnFirst_ = stop; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  void DoAdvanceTime(int dt) override;
  // Grid frame f: left = width * (f mod perRow) + grid left, top = height * (f div perRow) +
  // grid top, perRow = grid width div width; empty when perRow is 0.
  TRect SourceRect() const override;
  // Shows grid frame f (marking the widget changed when it differs).
  void SetGridFrame(int frame);

  int framesCount_ = 0;
  bool reverse_ = false;
  bool stopOnFirst_ = false;
  int currentFrame_ = 0;
  TPlayback playback_;

 private:
  int gridWidth_ = 0;
  int gridHeight_ = 0;
};

class TAnimationWidget : public TBaseAnimationWidget {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;

  int GetAnimationTime() const { return animationTime_; }
  void SetAnimationTime(int ms) { animationTime_ = ms; }
  // Frame f of the cycle: with reverse, frame framescount - f - 1 is shown.
  void ShowFrame(int frame);

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  int64_t CycleLength() const override { return animationTime_; }
  void ShowStart() override { ShowFrame(0); }
  void ShowTime(int64_t t) override;
  void ShowEnd() override { ShowFrame(stopOnFirst_ ? 0 : framesCount_ - 1); }

 private:
  int animationTime_ = 0;
};

class TSequenceAnimationWidget : public TBaseAnimationWidget {
 public:
  struct TFrame {
    int subimageIndex = 0;
    int duration = 0;
  };

  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;

  const std::vector<TFrame>& Frames() const { return frames_; }
  void SetFrames(std::vector<TFrame> frames);
  // The current sequence entry (-1 before the first).
  int GetSequenceIndex() const { return sequenceIndex_; }
  // Makes entry i current (when it differs and exists) and shows its grid frame.
  void SelectEntry(int index);
  // The entry for time t: both ends of an entry's span count; t = 0 and t = total - 1 are the
  // first and last entries (swapped with reverse); -1 when no entry matches.
  int PositionForTime(int64_t t) const;
  // A picture of grid frame `frame` (the frame shown is restored).
  Ref<ISurface> GetFrameImage(int frame);

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  int64_t CycleLength() const override { return total_; }
  void ShowStart() override { SelectEntry(PositionForTime(0)); }
  void ShowTime(int64_t t) override { SelectEntry(PositionForTime(t)); }
  void ShowEnd() override { SelectEntry(PositionForTime(stopOnFirst_ ? 0 : total_ - 1)); }

 private:
  int defaultDuration_ = 0;
  std::vector<TFrame> frames_;
  int64_t total_ = 0;
  int sequenceIndex_ = -1;
};

class TBlinkWidget : public TImageWidget, protected TPlayback::IHooks {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;

  const TPlayback& Playback() const { return playback_; }
  int GetLoopsCount() const { return loopsCount_; }
  // Rising from the start level to the peak over the first period, then to the end level over
  // the second; as a byte.
  int LevelForTime(int64_t t) const;

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  void DoAdvanceTime(int dt) override;
  int64_t CycleLength() const override { return int64_t(firstPeriod_) + secondPeriod_; }
  void ShowStart() override { SetTransparentLevel(startLevel_); }
  void ShowTime(int64_t t) override { SetTransparentLevel(LevelForTime(t)); }
  void ShowEnd() override { SetTransparentLevel(stopOnFirst_ ? startLevel_ : endLevel_); }
  // Counts the loops down; the last one finishes the blink and kills the widget.
  bool CycleEnded() override;

 private:
  TPlayback playback_;
  int loopsCount_ = 0;
  int firstPeriod_ = 1;
  int secondPeriod_ = 1;
  int startLevel_ = 0;
  int peakLevel_ = 0;
  int endLevel_ = 0;
  bool stopOnFirst_ = false;
};

}  // namespace lumessa
