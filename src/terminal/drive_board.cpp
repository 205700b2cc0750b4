#include "terminal/drive_board.h"

#include <algorithm>
#include <iostream>
#include <sstream>

#include "terminal/terminal_texts.h"
#include "text/format.h"
#include "text/printable.h"

namespace terminal {

namespace {

constexpr long kBarWidth = 20;
// The bar and its count.
constexpr int kBarColumns = static_cast<int>(kBarWidth) + 2 + 6;
// The narrowest live line leaves this much of the step's caption readable.
constexpr int kCaptionColumns = 16;

std::string WithoutTrailingBlanks(std::string line) {
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

// "[#####...............]  5/20"
std::string SmallBar(int done, int total) {
  const long filled = total > 0 ? std::clamp(static_cast<long>(done) * kBarWidth / total, 0L, kBarWidth) : 0L;
  std::string bar(static_cast<std::size_t>(kBarWidth + 2), '.');
  bar.front() = '[';
  bar.back() = ']';
  std::fill_n(bar.begin() + 1, filled, '#');
  return bar + text::Format(" %2d/%d", done, total);
}

}  // namespace

DriveBoard::DriveBoard(Console& console, std::vector<std::string> devices)
    : console_(console), devices_(std::move(devices)), shown_(devices_.size()) {
  for (std::string& device : devices_) {
    device = text::Printable(device);
    deviceWidth_ = std::max(deviceWidth_, device.size());
  }
  for (Shown& s : shown_) s.caption = texts::kWaiting;
  const int needed = static_cast<int>(deviceWidth_) + 2 + kBarColumns + 2 + kCaptionColumns;
  live_ = console_.tty;
  // A line that wraps would throw the redraw off by a row: too narrow a
  // terminal gets whole lines instead, and is told so.
  if (live_ && console_.columns > 0 && console_.columns < needed) {
    live_ = false;
    console_.err << text::Format(texts::kNarrowTerminal, console_.columns, needed) << std::endl;
  }
}

std::string DriveBoard::LineOf(std::size_t drive) const {
  const Shown& s = shown_[drive];
  std::string line = devices_[drive];
  line.resize(deviceWidth_, ' ');
  line += "  ";
  line += s.total > 0 ? SmallBar(s.done, s.total) : std::string(static_cast<std::size_t>(kBarColumns), ' ');
  line += "  " + text::Printable(s.caption);
  return Fitted(line);
}

// Cut to the terminal's width (less one column, so that the cursor never
// waits at the right margin), trailing blanks left out.
std::string DriveBoard::Fitted(std::string line) const {
  if (console_.columns > 0 && line.size() >= static_cast<std::size_t>(console_.columns))
    line.resize(static_cast<std::size_t>(console_.columns - 1));
  return WithoutTrailingBlanks(line);
}

void DriveBoard::Begin() {
  std::lock_guard<std::mutex> guard(lock_);
  if (live_) Redraw();
}

// Back to the first line, then every line anew.
void DriveBoard::Redraw() {
  if (drawn_) console_.out << "\x1b[" << shown_.size() << "A";
  for (std::size_t i = 0; i < shown_.size(); ++i) console_.out << "\r\x1b[K" << LineOf(i) << "\n";
  console_.out << std::flush;
  drawn_ = true;
}

// The caption the procedure clears at its end leaves the drive's last
// step standing.
void DriveBoard::Step(std::size_t drive, const std::string& caption) {
  if (caption.empty()) return;
  std::lock_guard<std::mutex> guard(lock_);
  shown_[drive] = Shown{caption, 0, 0};
  if (live_) {
    Redraw();
  } else {
    console_.out << devices_[drive] << ": " << WithoutTrailingBlanks(text::Printable(caption))
                 << std::endl;
  }
}

// Drawn live only: without a terminal a bar is no line a log wants.
void DriveBoard::Progress(std::size_t drive, int done, int total) {
  std::lock_guard<std::mutex> guard(lock_);
  Shown& s = shown_[drive];
  if (s.done == done && s.total == total) return;
  s.done = done;
  s.total = total;
  if (live_) Redraw();
}

void DriveBoard::Note(std::size_t drive, const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  if (live_ && drawn_) console_.out << "\x1b[" << shown_.size() << "A";
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    console_.out << (live_ ? "\r\x1b[K" : "") << devices_[drive] << ": " << text::Printable(line) << "\n";
  }
  if (live_ && drawn_) {
    drawn_ = false;
    Redraw();
  }
  console_.out << std::flush;
}

}  // namespace terminal
