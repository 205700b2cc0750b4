// The terminal a run talks to: where answers come from, where lines go,
// whether standard output is a terminal (then the progress bar is drawn) and
// whether answers are typed there.
#pragma once

#include <csignal>
#include <iosfwd>
#include <string>

namespace terminal {

struct Console {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  bool tty = false;
  // Answers come from a file or a pipe, not typed at a terminal: each is
  // shown after its prompt, so that the next line starts on a line of its
  // own and a log of the run says what was answered.
  bool echoAnswers = false;
  // The terminal's width in columns; 0 when unknown (no terminal).
  int columns = 0;
};

// The interrupt request a signal handler sets, and what the run made of it.
// Before the critical entry it stops the flash after the current command;
// from the critical entry until the final flash command has answered it is
// held and reported, never acted on.
class Interrupt {
 public:
  explicit Interrupt(const volatile std::sig_atomic_t& requested) : requested_(requested) {}

  bool Requested() const { return requested_ != 0; }
  void EnterCritical() { critical_ = true; }
  bool Critical() const { return critical_; }
  // True when the run must stop now: requested before the critical entry.
  bool Stops() {
    if (Requested() && !critical_) stopped_ = true;
    return stopped_;
  }
  bool Stopped() const { return stopped_; }
  // Says once, when a request arrives in the critical phase, that it is held.
  void ReportIfHeld(Console& console);
  bool Held() const { return held_; }

 private:
  const volatile std::sig_atomic_t& requested_;
  bool critical_ = false;
  bool stopped_ = false;
  bool held_ = false;
};

}  // namespace terminal
