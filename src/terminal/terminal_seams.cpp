#include "terminal/terminal_seams.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <thread>

#include "terminal/terminal_texts.h"
#include "text/format.h"
#include "text/printable.h"

namespace terminal {

void Interrupt::ReportIfHeld(Console& console) {
  if (held_ || !critical_ || !Requested()) return;
  held_ = true;
  console.out << "\n" << texts::kInterruptHeld << std::endl;
}

void TerminalDialogs::Message(const std::string& text) {
  // A command refused because of the interrupt is no drive failure.
  if (interrupt_.Stopped()) return;
  console_.out << text::Printable(text) << std::endl;
}

bool TerminalDialogs::AskYesNo() {
  if (assumeYes_) {
    console_.out << texts::kYesAnswered << std::endl;
    return true;
  }
  console_.out << texts::kPrompt << std::flush;
  std::string answer;
  if (!std::getline(console_.in, answer) || interrupt_.Requested()) {
    console_.out << std::endl;
    return false;
  }
  if (console_.echoAnswers) console_.out << text::Printable(answer) << std::endl;
  for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return answer == "y" || answer == "yes";
}

platform::Answer TerminalDialogs::Ask(platform::DialogKind, const std::string& text,
                                      platform::DialogButtons buttons) {
  console_.out << text::Printable(text);
  if (!text.empty() && text.back() != '\n') console_.out << "\n";
  if (buttons == platform::DialogButtons::Ok) {
    console_.out << std::flush;
    return platform::Answer::Ok;
  }
  return AskYesNo() ? platform::Answer::Yes : platform::Answer::No;
}

void TerminalDialogs::SystemBox(const std::string& text, const std::string& title) {
  console_.out << text::Printable(title) << ": " << text::Printable(text) << std::endl;
}

std::string TerminalBar::Drawing(std::int32_t done, std::int32_t total) {
  constexpr long kWidth = 40;
  const long filled =
      total > 0 ? std::clamp(static_cast<long>(done) * kWidth / total, 0L, kWidth) : 0L;
  std::string drawing(static_cast<std::size_t>(kWidth + 2), '.');
  drawing.front() = '[';
  drawing.back() = ']';
  std::fill_n(drawing.begin() + 1, filled, '#');
  drawing += text::Format("  %d/%d chunks", static_cast<int>(done), static_cast<int>(total));
  return drawing;
}

// Drawn only as chunks are done: the procedure also puts the position back
// to 0 between phases and before the final flash command.
void TerminalBar::SetPosition(std::int32_t value) { position_ = value; }

void TerminalBar::StepIt() {
  position_ += step_;
  Draw();
}

// Only the chunk loops step by a chunk; the final flash command's bar
// values (197, 198 of 200) are no progress a person can read.
void TerminalBar::Draw() {
  if (!console_.tty || step_ != chunkLength_ || max_ <= 0) return;
  const std::int32_t total = max_ / chunkLength_;
  const std::int32_t done = std::clamp<std::int32_t>(position_ / chunkLength_, 0, total);
  const std::string drawing = Drawing(done, total);
  if (lineOpen_ && drawing == lastDrawn_) return;
  console_.out << "\r" << drawing << std::flush;
  lastDrawn_ = drawing;
  lineOpen_ = true;
}

void TerminalBar::EndLine() {
  if (!lineOpen_) return;
  console_.out << "\n";
  lineOpen_ = false;
}

void TerminalView::Caption(const std::string& text) {
  interrupt_.ReportIfHeld(console_);
  if (text.empty() || interrupt_.Stopped()) return;
  bar_.EndLine();
  shown_.push_back(text);
  console_.out << text::Printable(text) << std::endl;
}

void TerminalView::PhaseChanged(flash::Phase phase) {
  if (phase == flash::Phase::CriticalBegun) interrupt_.EnterCritical();
}

void TerminalView::RestartNotOffered() { console_.out << texts::kPowerCycle << std::endl; }

void TerminalOs::Sleep(std::chrono::milliseconds duration) {
  if (interrupt_.Stops()) return;
  std::this_thread::sleep_for(duration);
}

}  // namespace terminal
