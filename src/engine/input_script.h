// Scripted input: one event a line, "FRAME VERB ARGS", "#" starts a comment.
//   move X Y | down B X Y | up B X Y | dblclick B X Y   (B: left, right or middle)
//   keydown VK | keyup VK | char CODE | altchar CODE | close
// The events of frame F reach the window, in file order, before frame F's update, each as the
// message a desktop window would have received.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/geometry.h"
#include "platform/platform.h"

namespace lumessa {

class TInputScript {
 public:
  struct TEvent {
    int frame = 0;
    TMessage message;
    bool movesCursor = false;  // mouse events put the mouse at `position` first
    TPoint position;
  };

  // Parses the text; on failure returns false with `error` naming the line and the fault.
  bool Parse(std::string_view text, std::string& error);
  // The events of one frame, in file order.
  std::vector<TEvent> EventsFor(int frame) const;
  int LastFrame() const { return events_.empty() ? 0 : events_.back().frame; }
  bool Empty() const { return events_.empty(); }

 private:
  std::vector<TEvent> events_;  // sorted by frame, file order within a frame
};

}  // namespace lumessa
