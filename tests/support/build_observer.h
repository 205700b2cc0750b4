// A builder observer that records what a build reported.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "package/builder.h"

namespace testsupport {

// What a build reported: captions, failures and the progress calls.
class RecordingObserver : public package::BuildObserver {
 public:
  std::vector<std::string> captions;
  std::vector<std::string> failures;
  std::vector<std::int32_t> starts;
  int steps = 0;
  int done = 0;
  void Status(const std::string& caption) override { captions.push_back(caption); }
  void ProgressStart(std::int32_t maximum) override { starts.push_back(maximum); }
  void ProgressStep() override { ++steps; }
  void ProgressDone() override { ++done; }
  void Failure(const std::string& message) override {
    failures.push_back(message);
    if (onFailure) onFailure();
  }
  std::function<void()> onFailure;  // runs while the message is "shown"
};

}  // namespace testsupport
