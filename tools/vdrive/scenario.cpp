// The scenario text: which drives a session has and how they misbehave.
// The format is described in SCENARIO.md beside this file.
#include <array>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>

#include "vdrive/vdrive.h"

namespace vdrive {
namespace {

constexpr std::array<std::string_view, kKindCount> kKindNames = {
    "inquiry",       "tur",      "start-stop", "flash-id",   "write-e2",     "write-chunk",
    "write-profile", "critical", "burn",       "read-chunk", "read-profile", "other"};

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t start = text.find_first_not_of(" \t", at);
    if (start == std::string_view::npos) break;
    std::size_t end = text.find_first_of(" \t", start);
    if (end == std::string_view::npos) end = text.size();
    words.push_back(text.substr(start, end - start));
    at = end;
  }
  return words;
}

// Counts, codes and offsets: decimal, or hexadecimal with 0x.
std::optional<std::uint32_t> Number(std::string_view word) {
  int base = 10;
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    word.remove_prefix(2);
    base = 16;
  }
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, base);
  if (error != std::errc{} || end != word.data() + word.size() || word.empty()) {
    return std::nullopt;
  }
  return value;
}

// Byte values (status, sense, chip codes, masks): one or two hex digits.
std::optional<std::uint8_t> HexByte(std::string_view word) {
  if (word.empty() || word.size() > 2) return std::nullopt;
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, 16);
  if (error != std::errc{} || end != word.data() + word.size()) return std::nullopt;
  return static_cast<std::uint8_t>(value);
}

std::optional<std::uint32_t> Nth(std::string_view word) {
  if (word == "every") return 0;
  return Number(word);
}

std::optional<std::uint8_t> SmallNumber(std::string_view word) {
  const auto value = Number(word);
  if (!value || *value > 0xFF) return std::nullopt;
  return static_cast<std::uint8_t>(*value);
}

class Parser {
 public:
  ScenarioResult Parse(std::string_view text) {
    std::size_t lineNumber = 0;
    while (!text.empty()) {
      const std::size_t end = text.find('\n');
      const std::string_view line = text.substr(0, end);
      text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
      ++lineNumber;
      if (!Line(Trim(line))) {
        return {std::nullopt, "line " + std::to_string(lineNumber) + ": " + error_};
      }
    }
    return {std::move(scenario_), ""};
  }

 private:
  bool Fail(std::string message) {
    error_ = std::move(message);
    return false;
  }

  bool Line(std::string_view line) {
    if (line.empty() || line.front() == '#') return true;
    if (line.front() == '[') return SectionHeader(line);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return Fail("expected key = value");
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (section_ == Section::Aspi) return AspiKey(key, value);
    if (section_ == Section::Drive) return DriveKey(key, value);
    return Fail("key outside a section");
  }

  bool SectionHeader(std::string_view line) {
    if (line.back() != ']') return Fail("unclosed section header");
    const std::vector<std::string_view> words = Words(line.substr(1, line.size() - 2));
    if (words.size() == 1 && words[0] == "aspi") {
      section_ = Section::Aspi;
      return true;
    }
    if (!words.empty() && words.size() <= 2 && words[0] == "drive") {
      section_ = Section::Drive;
      scenario_.drives.emplace_back();
      if (words.size() == 2) scenario_.drives.back().name = std::string(words[1]);
      return true;
    }
    return Fail("unknown section");
  }

  bool AspiKey(std::string_view key, std::string_view value) {
    AspiSpec& aspi = scenario_.aspi;
    if (key == "load" && value == "fail") {
      aspi.loadFails = true;
    } else if (key == "missing" && value == "GetASPI32SupportInfo") {
      aspi.missingSupportInfo = true;
    } else if (key == "missing" && value == "SendASPI32Command") {
      aspi.missingSendCommand = true;
    } else if (key == "support-info") {
      const auto number = Number(value);
      if (!number) return Fail("support-info needs a number");
      aspi.supportInfo = *number;
    } else {
      return Fail("unknown aspi key '" + std::string(key) + "'");
    }
    return true;
  }

  bool DriveKey(std::string_view key, std::string_view value) {
    DriveSpec& drive = scenario_.drives.back();
    const std::vector<std::string_view> words = Words(value);
    if (key == "letter") return Letter(drive, value);
    if (key == "aspi") return AspiAddress(drive, words);
    if (key == "nt-address") return NtAddress(drive, words);
    if (key == "vendor") return Text(drive.identity.vendor, value);
    if (key == "product") return Text(drive.identity.product, value);
    if (key == "revision") return Text(drive.identity.revision, value);
    if (key == "new-revision") return Text(drive.newRevision.emplace(), value);
    if (key == "medium") return MediumKey(drive, words);
    if (key == "flash-chip") return FlashChip(drive, words);
    if (key == "fail") return FailKey(drive, words);
    if (key == "corrupt") return CorruptKey(drive, words);
    if (key == "hold") return HoldKey(drive, words);
    if (key == "call-error") return CallErrorKey(drive, words);
    if (key == "sg-status") return SgStatusKey(drive, words);
    if (key == "profile-mismatch") return Flag(drive.profileMismatch, value);
    if (key == "open-error") return Code(drive.openError, value);
    if (key == "probe-error") return Code(drive.probeError, value);
    return Fail("unknown drive key '" + std::string(key) + "'");
  }

  bool Letter(DriveSpec& drive, std::string_view value) {
    if (value.size() != 1 || !std::isalpha(static_cast<unsigned char>(value[0]))) {
      return Fail("letter needs one letter");
    }
    drive.ntLetter = static_cast<char>(std::toupper(static_cast<unsigned char>(value[0])));
    return true;
  }

  bool AspiAddress(DriveSpec& drive, const std::vector<std::string_view>& words) {
    if (words.size() != 2) return Fail("aspi needs adapter and target");
    const auto adapter = SmallNumber(words[0]);
    const auto target = SmallNumber(words[1]);
    if (!adapter || !target) return Fail("aspi needs adapter and target");
    drive.aspi = DriveSpec::Address{*adapter, *target};
    return true;
  }

  bool NtAddress(DriveSpec& drive, const std::vector<std::string_view>& words) {
    if (words.size() != 3) return Fail("nt-address needs path, target and lun");
    const auto path = SmallNumber(words[0]);
    const auto target = SmallNumber(words[1]);
    const auto lun = SmallNumber(words[2]);
    if (!path || !target || !lun) return Fail("nt-address needs path, target and lun");
    drive.ntPath = *path;
    drive.ntTarget = *target;
    drive.ntLun = *lun;
    return true;
  }

  bool Text(std::string& field, std::string_view value) {
    field = std::string(value);
    return true;
  }

  bool MediumKey(DriveSpec& drive, const std::vector<std::string_view>& words) {
    const auto state = [](std::string_view word) -> std::optional<Medium> {
      if (word == "none") return Medium::None;
      if (word == "loaded") return Medium::Loaded;
      return std::nullopt;
    };
    if (words.size() == 1 && state(words[0])) {
      drive.medium = *state(words[0]);
      return true;
    }
    if ((words.size() == 2 || words.size() == 3) && words[0] == "becoming-ready") {
      const auto polls = Number(words[1]);
      const auto after = words.size() == 3 ? state(words[2]) : Medium::None;
      if (!polls || !after) return Fail("medium becoming-ready needs polls [none|loaded]");
      drive.medium = Medium::BecomingReady;
      drive.becomingReadyPolls = *polls;
      drive.mediumWhenReady = *after;
      return true;
    }
    return Fail("medium is none, loaded or becoming-ready N [none|loaded]");
  }

  bool FlashChip(DriveSpec& drive, const std::vector<std::string_view>& words) {
    if (words.size() != 2) return Fail("flash-chip needs maker and device");
    const auto maker = HexByte(words[0]);
    const auto device = HexByte(words[1]);
    if (!maker || !device) return Fail("flash-chip needs maker and device");
    drive.flashMaker = *maker;
    drive.flashDevice = *device;
    return true;
  }

  bool KindAndNth(const std::vector<std::string_view>& words, Kind& kind, std::uint32_t& nth) {
    if (words.size() < 2) return Fail("expected kind and count");
    const auto named = KindFromName(words[0]);
    if (!named) return Fail("unknown command kind '" + std::string(words[0]) + "'");
    const auto count = Nth(words[1]);
    if (!count) return Fail("count is a number or every");
    kind = *named;
    nth = *count;
    return true;
  }

  // fail = <kind> <nth|every> [status SS] [sense KK AA QQ] [aspi-status SS]
  bool FailKey(DriveSpec& drive, const std::vector<std::string_view>& words) {
    CommandFailure failure;
    if (!KindAndNth(words, failure.kind, failure.nth)) return false;
    std::size_t at = 2;
    while (at < words.size()) {
      if (words[at] == "status" && at + 1 < words.size() && HexByte(words[at + 1])) {
        failure.status = *HexByte(words[at + 1]);
        at += 2;
      } else if (words[at] == "sense" && at + 3 < words.size() && HexByte(words[at + 1]) &&
                 HexByte(words[at + 2]) && HexByte(words[at + 3])) {
        failure.sense = {*HexByte(words[at + 1]), *HexByte(words[at + 2]), *HexByte(words[at + 3])};
        at += 4;
      } else if (words[at] == "aspi-status" && at + 1 < words.size() && HexByte(words[at + 1])) {
        failure.aspiStatus = *HexByte(words[at + 1]);
        at += 2;
      } else {
        return Fail("fail takes status SS, sense KK AA QQ, aspi-status SS");
      }
    }
    drive.failures.push_back(failure);
    return true;
  }

  // corrupt = <offset> [mask]
  bool CorruptKey(DriveSpec& drive, const std::vector<std::string_view>& words) {
    if (words.empty() || words.size() > 2) return Fail("corrupt needs offset [mask]");
    ReadCorruption corruption;
    const auto offset = Number(words[0]);
    const auto mask = words.size() == 2 ? HexByte(words[1]) : std::optional<std::uint8_t>{0xFF};
    if (!offset || !mask) return Fail("corrupt needs offset [mask]");
    corruption.offset = *offset;
    corruption.mask = *mask;
    drive.corruptions.push_back(corruption);
    return true;
  }

  // hold = <kind> <nth|every> <never|at-wait|after-wait>
  bool HoldKey(DriveSpec& drive, const std::vector<std::string_view>& words) {
    HeldRequest held;
    if (!KindAndNth(words, held.kind, held.nth)) return false;
    if (words.size() != 3) return Fail("hold needs kind, count and never|at-wait|after-wait");
    if (words[2] == "never") {
      held.delivery = Delivery::Never;
    } else if (words[2] == "at-wait") {
      held.delivery = Delivery::AtWait;
    } else if (words[2] == "after-wait") {
      held.delivery = Delivery::AfterWait;
    } else {
      return Fail("hold needs kind, count and never|at-wait|after-wait");
    }
    drive.holds.push_back(held);
    return true;
  }

  // call-error = <kind> <nth|every> <system error code>
  bool CallErrorKey(DriveSpec& drive, const std::vector<std::string_view>& words) {
    CallFailure call;
    if (!KindAndNth(words, call.kind, call.nth)) return false;
    const auto code = words.size() == 3 ? Number(words[2]) : std::nullopt;
    if (!code) return Fail("call-error needs kind, count and error code");
    call.systemError = *code;
    drive.callFailures.push_back(call);
    return true;
  }

  // sg-status = <kind> <nth|every> host SS driver SS
  bool SgStatusKey(DriveSpec& drive, const std::vector<std::string_view>& words) {
    SgTransportFault fault;
    if (!KindAndNth(words, fault.kind, fault.nth)) return false;
    if (words.size() != 6 || words[2] != "host" || words[4] != "driver" || !HexByte(words[3]) ||
        !HexByte(words[5]))
      return Fail("sg-status needs kind, count, host SS and driver SS");
    fault.hostStatus = *HexByte(words[3]);
    fault.driverStatus = *HexByte(words[5]);
    drive.sgFaults.push_back(fault);
    return true;
  }

  bool Flag(bool& field, std::string_view value) {
    if (value != "yes" && value != "no") return Fail("expected yes or no");
    field = value == "yes";
    return true;
  }

  bool Code(std::optional<std::uint32_t>& field, std::string_view value) {
    const auto code = Number(value);
    if (!code) return Fail("expected an error code");
    field = *code;
    return true;
  }

  enum class Section { None, Aspi, Drive };
  Section section_ = Section::None;
  Scenario scenario_;
  std::string error_;
};

}  // namespace

std::string_view KindName(Kind kind) { return kKindNames[static_cast<std::size_t>(kind)]; }

std::optional<Kind> KindFromName(std::string_view name) {
  for (std::size_t i = 0; i < kKindNames.size(); ++i) {
    if (kKindNames[i] == name) return static_cast<Kind>(i);
  }
  return std::nullopt;
}

ScenarioResult ParseScenario(std::string_view text) { return Parser().Parse(text); }

ScenarioResult LoadScenarioFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return {std::nullopt, "cannot read " + path};
  std::ostringstream text;
  text << file.rdbuf();
  return ParseScenario(text.str());
}

}  // namespace vdrive
