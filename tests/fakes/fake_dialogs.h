// The standard dialogs, answering Yes/No questions from the test's script.
// Every box shown is recorded, in order, and written to the shared journal.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "fakes/fake_ui.h"
#include "platform/ui.h"

namespace fakes {

inline const char* KindName(platform::DialogKind kind) {
  switch (kind) {
    case platform::DialogKind::Warning: return "Warning";
    case platform::DialogKind::Confirm: return "Confirm";
    case platform::DialogKind::Error: return "Error";
  }
  return "?";
}

struct ShownDialog {
  std::string kind;  // "Message", "Warning", "Confirm", "Error", "System"
  std::string text;
  std::string title;  // SystemBox only
  platform::DialogButtons buttons = platform::DialogButtons::Ok;
  bool operator==(const ShownDialog&) const = default;
};

class FakeDialogs : public platform::Dialogs {
 public:
  explicit FakeDialogs(Journal* journal = nullptr) : journal_(journal) {}

  // Answers for the Yes/No dialogs, in order. A question the script has no
  // answer for fails the test (and is answered No): every question a test
  // lets the program ask is one it expects. onShow runs while a dialog is
  // "open", as a modal box's message loop would let other window events
  // through.
  std::deque<platform::Answer> answers;
  std::function<void(const ShownDialog&)> onShow;
  std::vector<ShownDialog> shown;

  void Message(const std::string& text) override {
    Record({"Message", text, "", platform::DialogButtons::Ok});
  }
  platform::Answer Ask(platform::DialogKind kind, const std::string& text,
                       platform::DialogButtons buttons) override {
    Record({KindName(kind), text, "", buttons});
    if (buttons == platform::DialogButtons::Ok) return platform::Answer::Ok;
    if (answers.empty()) {
      ADD_FAILURE() << "unscripted question (" << KindName(kind) << "): \"" << text << "\"";
      return platform::Answer::No;
    }
    platform::Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  void SystemBox(const std::string& text, const std::string& title) override {
    Record({"System", text, title, platform::DialogButtons::Ok});
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& d : shown) out.push_back(d.text);
    return out;
  }

 private:
  void Record(const ShownDialog& d) {
    shown.push_back(d);
    if (journal_) journal_->Add("dialog", d.kind + ": " + d.text);
    if (onShow) onShow(d);
  }
  Journal* journal_;
};

}  // namespace fakes
