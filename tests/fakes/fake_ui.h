// Fakes of the window's controls. They record what was shown, in order, so
// a test can assert exact texts, captions and progress values. The dialogs
// are in fake_dialogs.h.
#pragma once

#include <string>
#include <vector>

#include "platform/ui.h"

namespace fakes {

// One event of the window's life, in the order it happened.
struct UiEvent {
  std::string what;  // "caption", "message", "dialog", "repaint", ...
  std::string text;
  bool operator==(const UiEvent&) const = default;
};

// Shared journal: every fake control and dialog writes to it.
struct Journal {
  std::vector<UiEvent> events;
  void Add(std::string what, std::string text) {
    events.push_back({std::move(what), std::move(text)});
  }
  // The texts of every event of one kind, in order.
  std::vector<std::string> Texts(const std::string& what) const {
    std::vector<std::string> out;
    for (const auto& e : events)
      if (e.what == what) out.push_back(e.text);
    return out;
  }
};

class FakeCursor : public platform::Cursor {
 public:
  explicit FakeCursor(Journal* journal = nullptr) : journal_(journal) {}
  bool hourglass = false;
  void Hourglass() override { Set(true); }
  void Default() override { Set(false); }

 private:
  void Set(bool h) {
    hourglass = h;
    if (journal_) journal_->Add("cursor", h ? "hourglass" : "default");
  }
  Journal* journal_;
};

// Control state common to every fake control.
template <typename Base>
class FakeControlBase : public Base {
 public:
  FakeControlBase(std::string name, Journal* journal) : name_(std::move(name)), journal_(journal) {}
  void SetVisible(bool visible) override { visible_ = visible; }
  bool Visible() const override { return visible_; }
  void SetTop(int top) override { top_ = top; }
  int Top() const override { return top_; }
  void Repaint() override {
    ++repaints;
    Log("repaint", name_);
  }
  int repaints = 0;

 protected:
  void Log(const std::string& what, const std::string& text) const {
    if (journal_) journal_->Add(what, text);
  }
  std::string name_;
  Journal* journal_;
  bool visible_ = true;
  int top_ = 0;
};

class FakeText : public FakeControlBase<platform::TextControl> {
 public:
  explicit FakeText(std::string name = "text", Journal* journal = nullptr, int top = 0)
      : FakeControlBase(std::move(name), journal) {
    top_ = top;
  }
  void SetText(const std::string& text) override {
    text_ = text;
    history.push_back(text);
    Log(name_, text);
  }
  std::string Text() const override { return text_; }
  std::vector<std::string> history;  // every text set, in order

 private:
  std::string text_;
};

class FakeButton : public FakeControlBase<platform::Button> {
 public:
  explicit FakeButton(std::string name = "button", Journal* journal = nullptr, int top = 0)
      : FakeControlBase(std::move(name), journal) {
    top_ = top;
  }
  void SetText(const std::string& text) override { text_ = text; }
  std::string Text() const override { return text_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  bool Enabled() const override { return enabled_; }

 private:
  std::string text_;
  bool enabled_ = true;
};

class FakeComboBox : public FakeControlBase<platform::ComboBox> {
 public:
  explicit FakeComboBox(std::string name = "combo", Journal* journal = nullptr)
      : FakeControlBase(std::move(name), journal) {}
  int AddItem(const std::string& text) override {
    items.push_back(text);
    return static_cast<int>(items.size()) - 1;
  }
  void InsertItem(int index, const std::string& text) override {
    items.insert(items.begin() + index, text);
  }
  void DeleteItem(int index) override { items.erase(items.begin() + index); }
  int Count() const override { return static_cast<int>(items.size()); }
  std::string ItemText(int index) const override { return items.at(index); }
  void SetItemIndex(int index) override { selected = index; }
  int ItemIndex() const override { return selected; }
  std::vector<std::string> items;
  int selected = -1;
};

class FakeFileList : public FakeControlBase<platform::FileList> {
 public:
  explicit FakeFileList(std::string name = "files", Journal* journal = nullptr, int top = 64)
      : FakeControlBase(std::move(name), journal) {
    top_ = top;
  }
  void SetFolder(const std::string& folder) override { folder_ = folder; }
  void SetMask(const std::string& mask) override {
    mask_ = mask;
    ++reads;
  }
  std::string Folder() const override { return folder_; }
  std::string Mask() const override { return mask_; }
  std::string SelectedName() const override { return selectedName; }
  std::string selectedName;
  int reads = 0;  // how often the folder was read again

 private:
  std::string folder_;
  std::string mask_;
};

// Records the bar's full state at every change, so a test can assert the
// cursor values a command saw.
struct BarState {
  int min, max, position, step;
  bool operator==(const BarState&) const = default;
};

class FakeProgressBar : public FakeControlBase<platform::ProgressBar> {
 public:
  explicit FakeProgressBar(std::string name = "bar", Journal* journal = nullptr, int top = 136)
      : FakeControlBase(std::move(name), journal) {
    top_ = top;
  }
  void SetMin(std::int32_t v) override { state_.min = v; Changed(); }
  void SetMax(std::int32_t v) override { state_.max = v; Changed(); }
  void SetPosition(std::int32_t v) override { state_.position = v; Changed(); }
  void SetStep(std::int32_t v) override { state_.step = v; Changed(); }
  void StepIt() override { state_.position += state_.step; Changed(); }
  std::int32_t Min() const override { return state_.min; }
  std::int32_t Max() const override { return state_.max; }
  std::int32_t Position() const override { return state_.position; }
  std::int32_t Step() const override { return state_.step; }
  BarState State() const { return state_; }
  std::vector<BarState> history;

 private:
  void Changed() { history.push_back(state_); }
  BarState state_{0, 100, 0, 10};
};

}  // namespace fakes
