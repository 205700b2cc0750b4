// The drive's record of every command it received, and its text form.
#include <cstdio>

#include "vdrive/vdrive.h"

namespace vdrive {
namespace {

std::string_view DirectionName(Direction direction) {
  switch (direction) {
    case Direction::In:
      return "in";
    case Direction::Out:
      return "out";
    case Direction::None:
      break;
  }
  return "none";
}

std::string_view DeliveryNote(Delivery delivery) {
  switch (delivery) {
    case Delivery::AtWait:
      return " held-at-wait";
    case Delivery::AfterWait:
      return " held-after-wait";
    case Delivery::Never:
      return " held";
    case Delivery::Now:
      break;
  }
  return "";
}

std::string DigestText(const TraceEntry& entry) {
  if (entry.answer.moved == 0) return "-";
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(entry.digest));
  return text;
}

std::string Outcome(const Answer& answer) {
  char text[48];
  if (answer.callError) {
    std::snprintf(text, sizeof text, "call-error %u", static_cast<unsigned>(*answer.callError));
    return text;
  }
  std::snprintf(text, sizeof text, "%02X %02X %02X %02X", answer.status, answer.sense.senseByte2,
                answer.sense.asc, answer.sense.ascq);
  std::string outcome = text;
  const auto add = [&outcome](const char* name, const std::optional<std::uint8_t>& value) {
    if (!value) return;
    char part[24];
    std::snprintf(part, sizeof part, " %s %02X", name, *value);
    outcome += part;
  };
  add("aspi-status", answer.aspiStatus);
  add("host-status", answer.hostStatus);
  add("driver-status", answer.driverStatus);
  return outcome;
}

}  // namespace

std::uint32_t Digest(std::span<const std::uint8_t> data) {
  std::uint32_t hash = 0x811C9DC5u;
  for (std::uint8_t byte : data) {
    hash ^= byte;
    hash *= 0x01000193u;
  }
  return hash;
}

std::string Trace::Line(const TraceEntry& entry) {
  std::string line = entry.drive;
  char byte[4];
  for (std::uint8_t value : entry.cdb) {
    std::snprintf(byte, sizeof byte, " %02X", value);
    line.append(byte);
  }
  line.append(" / ").append(DirectionName(entry.direction));
  line.append(" ").append(std::to_string(entry.length));
  line.append(" ").append(DigestText(entry));
  line.append(" -> ").append(Outcome(entry.answer));
  line.append(DeliveryNote(entry.answer.delivery));
  return line;
}

void Trace::Add(TraceEntry entry) {
  entries_.push_back(std::move(entry));
  if (sink_) sink_(Line(entries_.back()));
}

std::string Trace::Text() const {
  std::string text;
  for (const TraceEntry& entry : entries_) text += Line(entry) + "\n";
  return text;
}

}  // namespace vdrive
