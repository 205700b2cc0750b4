// Where the drives of a run with several drives show their steps, from the
// workers' threads at once. On a terminal wide enough: one line a drive,
// redrawn in place (step and progress), with notes (a command's report, an
// interrupt held) written above the lines. Otherwise whole lines, each
// prefixed with the drive's device.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "terminal/console.h"

namespace terminal {

class DriveBoard {
 public:
  // devices: how each drive is named, in the order of the run.
  DriveBoard(Console& console, std::vector<std::string> devices);

  // Draws the lines once (live mode only); before it nothing is drawn.
  void Begin();
  void Step(std::size_t drive, const std::string& caption);
  void Progress(std::size_t drive, int done, int total);
  void Note(std::size_t drive, const std::string& text);

  bool Live() const { return live_; }
  // The live line of one drive as drawn (for the narrow terminal's width).
  std::string LineOf(std::size_t drive) const;

 private:
  struct Shown {
    std::string caption;
    int done = 0;
    int total = 0;
  };
  void Redraw();
  std::string Fitted(std::string line) const;

  std::mutex lock_;
  Console& console_;
  std::vector<std::string> devices_;
  std::vector<Shown> shown_;
  std::size_t deviceWidth_ = 0;
  bool live_ = false;
  bool drawn_ = false;
};

}  // namespace terminal
