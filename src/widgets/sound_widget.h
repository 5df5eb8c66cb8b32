// "sound_widget": an invisible widget that plays one of its own sounds after a start delay, and
// again after each cycle delay when it loops.
#pragma once

#include <string>

#include "widgets/abstract_widget.h"

namespace lumessa {

class TSoundWidget : public TAbstractWidget {
 public:
  // Active and phase 0 again, then the widget's restart.
  void Restart() override;
  // Stops the channel and ends the playback (phase 3).
  void Pause() override;

  const std::string& GetResourceName() const { return resourceName_; }
  void SetResourceName(std::string_view name) { resourceName_ = name; }
  bool GetLoop() const { return loop_; }
  void SetLoop(bool loop) { loop_ = loop; }
  bool GetActive() const { return active_; }
  // 0 start delay, 1 playing, 2 delay between plays, 3 finished.
  int GetPhase() const { return phase_; }
  TAudioHandle GetChannel() const { return channel_; }

  // A start that fails is tried again this much later.
  static constexpr int kRetryDelay = 200;

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  void DoAdvanceTime(int dt) override;

 private:
  // Plays the sound named by "resourcename" from the widget's own sounds; phase 1 when it
  // started.
  bool StartPlaying();
  // Without the engine's channel queries a channel counts as still playing, so that a looping
  // sound never piles up on itself.
  bool ChannelPlaying() const;

  std::string resourceName_;
  bool loop_ = false;
  int startDelay_ = 0;
  int cycleDelay_ = 0;
  bool active_ = true;
  int phase_ = 0;
  TAudioHandle channel_ = 0;
};

}  // namespace lumessa
