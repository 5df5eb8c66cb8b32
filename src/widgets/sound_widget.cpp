#include "widgets/sound_widget.h"

#include "widgets/widget_storage.h"

namespace lumessa {

void TSoundWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TAbstractWidget::LoadProperties(storage);
  TKeyReader keys(storage, LogName());
  resourceName_ = ReadString(storage, "resourcename");
  loop_ = keys.Bool("loop", false);
  startDelay_ = keys.Int("startdelaytime", 0);
  cycleDelay_ = keys.Int("cycledelaytime", 0);
}

void TSoundWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TAbstractWidget::SaveProperties(storage);
  WriteString(storage, "resourcename", true, resourceName_);
  WriteBool(storage, "loop", loop_, loop_);
  WriteInt(storage, "startdelaytime", startDelay_ != 0, startDelay_);
  WriteInt(storage, "cycledelaytime", cycleDelay_ != 0, cycleDelay_);
}

void TSoundWidget::Restart() {
  active_ = true;
  phase_ = 0;
  TAbstractWidget::Restart();
}

void TSoundWidget::Pause() {
  TAbstractWidget::Pause();
  if (channel_ != 0)
    if (Ref<IAudioChannels> channels = Query<IAudioChannels>(GetEngine()))
      channels->StopChannel(channel_);
  phase_ = 3;
}

bool TSoundWidget::StartPlaying() {
  channel_ = PlaySound(resourceName_, false, 100, 0);
  if (channel_ == 0) return false;
  phase_ = 1;
  return true;
}

bool TSoundWidget::ChannelPlaying() const {
  Ref<IAudioChannels> channels = Query<IAudioChannels>(GetEngine());
  return !channels || channels->IsChannelPlaying(channel_);
}

void TSoundWidget::DoAdvanceTime(int dt) {
  TAbstractWidget::DoAdvanceTime(dt);
  // Each pass handles one phase change; the remainder of a delay is played in the same step.
  for (int pass = 0; pass < 4 && active_; ++pass) {
    int64_t time = GetCurrentTime();
    switch (phase_) {
      case 0:
      case 2: {
        const int delay = phase_ == 0 ? startDelay_ : cycleDelay_;
        if (time < delay) return;
        if (!StartPlaying()) {
          AssignCurrentTime(int64_t(delay) - kRetryDelay);
          return;
        }
        if (delay != 0) time %= delay;
        AssignCurrentTime(time);
        if (time == 0) return;
        break;
      }
      case 1:
        if (ChannelPlaying()) return;
        if (loop_) {
          phase_ = 2;
          AssignCurrentTime(0);
        } else {
          active_ = false;
          phase_ = 3;
        }
        return;
      default:
        return;
    }
  }
}

}  // namespace lumessa
