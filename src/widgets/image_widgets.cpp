#include "widgets/image_widgets.h"

#include <algorithm>

#include "engine/log.h"
#include "widgets/widget_storage.h"

namespace lumessa {

// ---------------------------------------------------------------------------------------------
// TResourceWidget

void TResourceWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TSingleWidget::LoadProperties(storage);
  resourceName_ = ReadString(storage, "resourcename");
  missingLogged_ = false;
}

void TResourceWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TSingleWidget::SaveProperties(storage);
  WriteString(storage, "resourcename", true, resourceName_);
}

TVariant TResourceWidget::GetProperty(std::string_view name) const {
  TVariant value = TSingleWidget::GetProperty(name);
  if (name == "resourcename") value = resourceName_;
  return value;
}

void TResourceWidget::SetProperty(std::string_view name, const TVariant& value) {
  TSingleWidget::SetProperty(name, value);
  if (name == "resourcename") SetResourceName(value.ToString());
}

void TResourceWidget::SetResourceName(std::string_view name) {
  if (name == resourceName_) return;
  resourceName_ = name;
  missingLogged_ = false;
  SetChanged(true);
  OnResourceChanged();
}

void TResourceWidget::SetOwner(IWidgetOwner* owner) {
  TSingleWidget::SetOwner(owner);
  engine_ = TSingleWidget::GetEngine();
}

void TResourceWidget::Detach() {
  Ref<IWidget> keep(this);
  engine_.reset();
  TSingleWidget::Detach();
}

void TResourceWidget::ClearReferences() {
  TSingleWidget::ClearReferences();
  engine_.reset();
}

Ref<IResource> TResourceWidget::FindResource() const {
  if (!engine_ || resourceName_.empty()) return {};
  return engine_->FindResource(resourceName_);
}

void TResourceWidget::LogMissingResource(const char* expected) const {
  if (missingLogged_ || !engine_) return;
  missingLogged_ = true;
  Log("widget '%s': resource \"%s\" is missing or not %s; nothing is drawn", LogName().c_str(),
      resourceName_.c_str(), expected);
}

// ---------------------------------------------------------------------------------------------
// TImageWidget

void TImageWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TResourceWidget::LoadProperties(storage);
  TKeyReader keys(storage, LogName());
  resourceLeft_ = ClampSize(keys.Int("resourceleft", 0));
  resourceTop_ = ClampSize(keys.Int("resourcetop", 0));
  drawMode_ = keys.Enum("drawmode", kDrawModeChoices, dmCopyRect);
  blendingMode_ = keys.Enum("blendingmode", kBlendingModeChoices, bmNormal);
  fillColor_ = keys.Color("fillcolor", 0);
}

void TImageWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TResourceWidget::SaveProperties(storage);
  WriteInt(storage, "resourceleft", true, resourceLeft_);
  WriteInt(storage, "resourcetop", true, resourceTop_);
  WriteEnum(storage, "drawmode", kDrawModeChoices, true, drawMode_);
  WriteEnum(storage, "blendingmode", kBlendingModeChoices, true, blendingMode_);
  WriteColor(storage, "fillcolor", true, fillColor_);
}

TVariant TImageWidget::GetProperty(std::string_view name) const {
  TVariant value = TResourceWidget::GetProperty(name);
  if (name == "resourceleft") value = resourceLeft_;
  if (name == "resourcetop") value = resourceTop_;
  if (name == "drawmode") value = drawMode_;
  if (name == "blendingmode") value = blendingMode_;
  if (name == "fillcolor") value = int64_t(fillColor_);
  return value;
}

void TImageWidget::SetProperty(std::string_view name, const TVariant& value) {
  TResourceWidget::SetProperty(name, value);
  if (name == "resourceleft") SetResourceOrigin(VariantToInt(value, resourceLeft_), resourceTop_);
  if (name == "resourcetop") SetResourceOrigin(resourceLeft_, VariantToInt(value, resourceTop_));
  if (name == "drawmode") SetDrawMode(VariantToInt(value, drawMode_));
  if (name == "blendingmode") SetBlendingMode(VariantToInt(value, blendingMode_));
  if (name == "fillcolor") SetFillColor(ColorFromVariant(value));
}

void TImageWidget::SetResourceOrigin(int left, int top) {
  left = ClampSize(left);
  top = ClampSize(top);
  if (left == resourceLeft_ && top == resourceTop_) return;
  resourceLeft_ = left;
  resourceTop_ = top;
  SetChanged(true);
}

void TImageWidget::SetDrawMode(int mode) {
  if (mode == drawMode_) return;
  drawMode_ = mode;
  SetChanged(true);
}

void TImageWidget::SetBlendingMode(int mode) {
  if (mode == blendingMode_) return;
  blendingMode_ = mode;
  SetChanged(true);
}

void TImageWidget::SetFillColor(uint32_t color) {
  if (color == fillColor_) return;
  fillColor_ = color;
  SetChanged(true);
}

TRect TImageWidget::SourceRect() const {
  return RectOfSize(resourceLeft_, resourceTop_, GetWidth(), GetHeight());
}

void TImageWidget::Draw(ISurface* surface, int x, int y) {
  DrawImage(surface, x, y, SourceRect());
}

void TImageWidget::DrawImage(ISurface* surface, int x, int y, const TRect& source) {
  if (!surface || source.IsEmpty()) return;
  Ref<IImageResource> image = Query<IImageResource>(FindResource());
  Ref<ISurface> bits = image ? image->GetSurface() : Ref<ISurface>();
  if (!bits) {
    LogMissingResource("an image");
    return;
  }
  const TRect dest = RectOfSize(x, y, source.Width(), source.Height());
  if (drawMode_ == dmFillColor)
    surface->DrawColor(fillColor_, bits.get(), blendingMode_, GetTransparentLevel(), source, dest);
  else
    surface->DrawSurface(bits.get(), source, blendingMode_, GetTransparentLevel(), dest);
}

bool TImageWidget::ContainsPoint(TPoint point, bool ignoreVisibility) {
  if (!TResourceWidget::ContainsPoint(point, ignoreVisibility)) return false;
  Ref<IImageResource> image = Query<IImageResource>(FindResource());
  Ref<ISurface> bits = image ? image->GetSurface() : Ref<ISurface>();
  if (!bits) return true;
  // The pixel of the part shown (for animations, the current frame).
  const TRect source = SourceRect();
  const TPoint anchor = RoundedAnchors();
  return (bits->GetPixel(point.x + source.left - anchor.x, point.y + source.top - anchor.y) >>
          24) != 0;
}

// ---------------------------------------------------------------------------------------------
// TPlayback

void TPlayback::Play(int64_t& time, IHooks& hooks) {
  // Each pass handles one phase change; a step passes through three at most (a delay ending,
  // then a cycle ending), so the bound only guards against surprises.
  for (int pass = 0; pass < 8 && active; ++pass) {
    switch (phase) {
      case 0:
      case 2: {
        hooks.ShowStart();
        const int delay = phase == 0 ? startDelay : cycleDelay;
        if (time < delay) return;
        phase = 1;
        if (delay != 0) time %= delay;
        if (time == 0) return;
        break;  // the remainder is played in the new phase
      }
      case 1: {
        const int64_t cycle = hooks.CycleLength();
        if (time < cycle) {
          hooks.ShowTime(time);
          return;
        }
        if (!loop) {
          Finish(hooks);
          return;
        }
        if (hooks.CycleEnded()) return;
        phase = 2;
        if (cycle != 0) time %= cycle;
        hooks.ShowTime(time);
        return;
      }
      default:
        return;
    }
  }
}

void TPlayback::Finish(IHooks& hooks) {
  active = false;
  phase = 3;
  hooks.ShowEnd();
}

// ---------------------------------------------------------------------------------------------
// TBaseAnimationWidget

void TBaseAnimationWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TImageWidget::LoadProperties(storage);
  // A bad value stops the reading: the keys after it keep their defaults.
  TKeyReader keys(storage, LogName(), true);
  framesCount_ = keys.Int("framescount", 0);
  gridWidth_ = ClampSize(keys.Int("resourcewidth", 0));
  gridHeight_ = ClampSize(keys.Int("resourceheight", 0));
  playback_.startDelay = keys.Int("startdelaytime", 0);
  playback_.cycleDelay = keys.Int("cycledelaytime", 0);
  playback_.loop = keys.Bool("loop", false);
  reverse_ = keys.Bool("reverse", false);
  stopOnFirst_ = keys.Bool("stoponfirst", false);
}

void TBaseAnimationWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TImageWidget::SaveProperties(storage);
  WriteInt(storage, "framescount", framesCount_ != 0, framesCount_);
  WriteInt(storage, "resourcewidth", gridWidth_ != 0, gridWidth_);
  WriteInt(storage, "resourceheight", gridHeight_ != 0, gridHeight_);
  WriteInt(storage, "startdelaytime", playback_.startDelay != 0, playback_.startDelay);
  WriteInt(storage, "cycledelaytime", playback_.cycleDelay != 0, playback_.cycleDelay);
  WriteBool(storage, "loop", playback_.loop, playback_.loop);
  WriteBool(storage, "reverse", reverse_, reverse_);
  WriteBool(storage, "stoponfirst", stopOnFirst_, stopOnFirst_);
}

TVariant TBaseAnimationWidget::GetProperty(std::string_view name) const {
  TVariant value = TImageWidget::GetProperty(name);
  if (name == "animationtime") value = CycleLength();
  if (name == "loop") value = playback_.loop;
  if (name == "reverse") value = reverse_;
  if (name == "stoponfirst") value = stopOnFirst_;
  return value;
}

void TBaseAnimationWidget::SetProperty(std::string_view name, const TVariant& value) {
  TImageWidget::SetProperty(name, value);
  if (name == "loop") SetLoop(VariantToBool(value, playback_.loop));
  if (name == "reverse") reverse_ = VariantToBool(value, reverse_);
  if (name == "stoponfirst") stopOnFirst_ = VariantToBool(value, stopOnFirst_);
}

void TBaseAnimationWidget::SetLoop(bool loop) {
  playback_.loop = loop;
  if (loop && !playback_.active) playback_.Revive();
}

void TBaseAnimationWidget::Restart() {
  playback_.Revive();
  TImageWidget::Restart();
}

void TBaseAnimationWidget::DoAdvanceTime(int dt) {
  TImageWidget::DoAdvanceTime(dt);
  int64_t time = GetCurrentTime();
  playback_.Play(time, *this);
  AssignCurrentTime(time);
}

TRect TBaseAnimationWidget::SourceRect() const {
  const int w = GetWidth();
  const int h = GetHeight();
  const int perRow = w > 0 ? gridWidth_ / w : 0;
  if (perRow <= 0) return {};
  const int frame = std::max(currentFrame_, 0);
  // A frame number far past the grid would put the rectangle beyond the int range.
  const int64_t top = int64_t(h) * (frame / perRow) + GetResourceTop();
  if (top > kMaxCoord) return {};
  return RectOfSize(w * (frame % perRow) + GetResourceLeft(), int(top), w, h);
}

void TBaseAnimationWidget::SetGridFrame(int frame) {
  if (frame == currentFrame_) return;
  currentFrame_ = frame;
  SetChanged(true);
}

// ---------------------------------------------------------------------------------------------
// TAnimationWidget

void TAnimationWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TBaseAnimationWidget::LoadProperties(storage);
  TKeyReader keys(storage, LogName(), true);
  animationTime_ = keys.Int("animationtime", 0);
}

void TAnimationWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TBaseAnimationWidget::SaveProperties(storage);
  WriteInt(storage, "animationtime", animationTime_ != 0, animationTime_);
}

TVariant TAnimationWidget::GetProperty(std::string_view name) const {
  TVariant value = TBaseAnimationWidget::GetProperty(name);
  if (name == "currentframe") value = GetCurrentFrame();
  if (name == "framescount") value = framesCount_;
  return value;
}

void TAnimationWidget::SetProperty(std::string_view name, const TVariant& value) {
  TBaseAnimationWidget::SetProperty(name, value);
  if (name == "animationtime") animationTime_ = VariantToInt(value, animationTime_);
  if (name == "currentframe") {
    // The frame of the cycle, so it goes through the reverse mapping.
    const int cycleFrame = reverse_ ? framesCount_ - GetCurrentFrame() - 1 : GetCurrentFrame();
    ShowFrame(VariantToInt(value, cycleFrame));
  }
}

void TAnimationWidget::ShowFrame(int frame) {
  if (framesCount_ <= 0) {
    SetGridFrame(0);
    return;
  }
  SetGridFrame(reverse_ ? framesCount_ - frame - 1 : frame);
}

void TAnimationWidget::ShowTime(int64_t t) {
  // A cycle of length 0 has no picture of its own; data gives positive lengths.
  if (animationTime_ <= 0) {
    ShowEnd();
    return;
  }
  const int64_t frame = int64_t(framesCount_) * t / animationTime_;
  ShowFrame(int(std::clamp<int64_t>(frame, 0, std::max(framesCount_ - 1, 0))));
}

// ---------------------------------------------------------------------------------------------
// TSequenceAnimationWidget

void TSequenceAnimationWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TBaseAnimationWidget::LoadProperties(storage);
  TKeyReader keys(storage, LogName(), true);
  defaultDuration_ = keys.Int("default_duration", 0);
  std::vector<TFrame> frames;
  const int count = storage->GetChildCount("frame");
  frames.reserve(size_t(count));
  for (int i = 0; i < count; ++i) {
    TKeyReader frameKeys(storage->GetChild("frame", i), LogName(), true);
    TFrame f;
    f.subimageIndex = frameKeys.Int("subimage_index", 0);
    f.duration = frameKeys.Int("duration", defaultDuration_);
    frames.push_back(f);
  }
  SetFrames(std::move(frames));
}

void TSequenceAnimationWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TBaseAnimationWidget::SaveProperties(storage);
  WriteInt(storage, "default_duration", defaultDuration_ != 0, defaultDuration_);
  for (const TFrame& f : frames_) {
    Ref<IHierStorage> node = storage->AddChild("frame");
    WriteInt(node, "subimage_index", true, f.subimageIndex);
    WriteInt(node, "duration", f.duration != defaultDuration_, f.duration);
  }
}

void TSequenceAnimationWidget::SetFrames(std::vector<TFrame> frames) {
  frames_ = std::move(frames);
  total_ = 0;
  for (const TFrame& f : frames_) total_ += f.duration;
  sequenceIndex_ = -1;
}

TVariant TSequenceAnimationWidget::GetProperty(std::string_view name) const {
  TVariant value = TBaseAnimationWidget::GetProperty(name);
  if (name == "currentframe") value = sequenceIndex_;
  if (name == "default_duration") value = defaultDuration_;
  return value;
}

void TSequenceAnimationWidget::SetProperty(std::string_view name, const TVariant& value) {
  TBaseAnimationWidget::SetProperty(name, value);
  if (name == "currentframe") SelectEntry(VariantToInt(value, sequenceIndex_));
  if (name == "default_duration") defaultDuration_ = VariantToInt(value, defaultDuration_);
}

int TSequenceAnimationWidget::PositionForTime(int64_t t) const {
  const int n = int(frames_.size());
  if (n == 0) return -1;
  if (t == 0) return reverse_ ? n - 1 : 0;
  if (t == total_ - 1) return reverse_ ? 0 : n - 1;
  int64_t start = 0;
  for (int k = 0; k < n; ++k) {
    const int i = reverse_ ? n - 1 - k : k;
    const int64_t duration = frames_[size_t(i)].duration;
    if (start <= t && t <= start + duration) return i;
    start += duration;
  }
  return -1;
}

void TSequenceAnimationWidget::SelectEntry(int index) {
  if (index == sequenceIndex_ || index < 0 || index >= int(frames_.size())) return;
  sequenceIndex_ = index;
  SetGridFrame(frames_[size_t(index)].subimageIndex);
}

Ref<ISurface> TSequenceAnimationWidget::GetFrameImage(int frame) {
  const int shown = currentFrame_;
  currentFrame_ = frame;
  Ref<ISurface> image = GetImage();
  currentFrame_ = shown;
  return image;
}

// ---------------------------------------------------------------------------------------------
// TBlinkWidget

void TBlinkWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TImageWidget::LoadProperties(storage);
  TKeyReader keys(storage, LogName(), true);
  playback_.loop = keys.Bool("loop", false);
  loopsCount_ = keys.Int("loops_count", 0);
  firstPeriod_ = keys.Int("firstperiod", 1);
  secondPeriod_ = keys.Int("secondperiod", firstPeriod_);
  startLevel_ = keys.Int("start_transparentlevel", 0) & 0xFF;
  peakLevel_ = keys.Int("peak_transparentlevel", 0) & 0xFF;
  endLevel_ = keys.Int("end_transparentlevel", startLevel_) & 0xFF;
  playback_.startDelay = keys.Int("startdelaytime", 0);
  playback_.cycleDelay = keys.Int("cycledelaytime", 0);
  stopOnFirst_ = keys.Bool("stoponfirst", false);
}

void TBlinkWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TImageWidget::SaveProperties(storage);
  WriteBool(storage, "loop", playback_.loop, playback_.loop);
  WriteInt(storage, "loops_count", loopsCount_ != 0, loopsCount_);
  WriteInt(storage, "firstperiod", firstPeriod_ != 1, firstPeriod_);
  WriteInt(storage, "secondperiod", secondPeriod_ != firstPeriod_, secondPeriod_);
  WriteInt(storage, "start_transparentlevel", startLevel_ != 0, startLevel_);
  WriteInt(storage, "peak_transparentlevel", peakLevel_ != 0, peakLevel_);
  WriteInt(storage, "end_transparentlevel", endLevel_ != startLevel_, endLevel_);
  WriteInt(storage, "startdelaytime", playback_.startDelay != 0, playback_.startDelay);
  WriteInt(storage, "cycledelaytime", playback_.cycleDelay != 0, playback_.cycleDelay);
  WriteBool(storage, "stoponfirst", stopOnFirst_, stopOnFirst_);
}

TVariant TBlinkWidget::GetProperty(std::string_view name) const {
  TVariant value = TImageWidget::GetProperty(name);
  if (name == "loop") value = playback_.loop;
  if (name == "firstperiod") value = firstPeriod_;
  if (name == "secondperiod") value = secondPeriod_;
  if (name == "start_transparentlevel") value = startLevel_;
  if (name == "peak_transparentlevel") value = peakLevel_;
  if (name == "end_transparentlevel") value = endLevel_;
  if (name == "startdelaytime") value = playback_.startDelay;
  if (name == "cycledelaytime") value = playback_.cycleDelay;
  if (name == "stoponfirst") value = stopOnFirst_;
  return value;
}

void TBlinkWidget::SetProperty(std::string_view name, const TVariant& value) {
  TImageWidget::SetProperty(name, value);
  if (name == "loop") {
    playback_.loop = VariantToBool(value, playback_.loop);
    if (playback_.loop && !playback_.active) playback_.Revive();
  }
  if (name == "firstperiod") firstPeriod_ = VariantToInt(value, firstPeriod_);
  if (name == "secondperiod") secondPeriod_ = VariantToInt(value, secondPeriod_);
  if (name == "start_transparentlevel") startLevel_ = VariantToInt(value, startLevel_) & 0xFF;
  if (name == "peak_transparentlevel") peakLevel_ = VariantToInt(value, peakLevel_) & 0xFF;
  if (name == "end_transparentlevel") endLevel_ = VariantToInt(value, endLevel_) & 0xFF;
  if (name == "startdelaytime") playback_.startDelay = VariantToInt(value, playback_.startDelay);
  if (name == "cycledelaytime") playback_.cycleDelay = VariantToInt(value, playback_.cycleDelay);
  if (name == "stoponfirst") stopOnFirst_ = VariantToBool(value, stopOnFirst_);
}

void TBlinkWidget::DoAdvanceTime(int dt) {
  TImageWidget::DoAdvanceTime(dt);
  int64_t time = GetCurrentTime();
  playback_.Play(time, *this);
  AssignCurrentTime(time);
}

int TBlinkWidget::LevelForTime(int64_t t) const {
  int64_t level;
  if (t < firstPeriod_ && firstPeriod_ > 0) {
    level = startLevel_ + int64_t(peakLevel_ - startLevel_) * t / firstPeriod_;
  } else if (secondPeriod_ != 0) {
    level = peakLevel_ + int64_t(endLevel_ - peakLevel_) * (t - firstPeriod_) / secondPeriod_;
  } else {
    level = endLevel_;  // no second period: data gives positive ones
  }
  return int(uint8_t(level));
}

bool TBlinkWidget::CycleEnded() {
  if (loopsCount_ <= 0) return false;
  if (--loopsCount_ > 0) return false;
  playback_.Finish(*this);
  SetDead(true);
  return true;
}

}  // namespace lumessa
