// The drive's record of every command it received, and its text form.
#include <cstdio>

#include "vdrive/vdrive.h"

namespace vdrive {
namespace {

std::string Hex2(std::uint8_t value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

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
  if (answer.callError) return "call-error " + std::to_string(*answer.callError);
  std::string text = Hex2(answer.status) + " " + Hex2(answer.sense.senseByte2) + " " +
                     Hex2(answer.sense.asc) + " " + Hex2(answer.sense.ascq);
  if (answer.aspiStatus) text += " aspi-status " + Hex2(*answer.aspiStatus);
  return text;
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
  for (std::uint8_t byte : entry.cdb) line += " " + Hex2(byte);
  line += " / ";
  line += DirectionName(entry.direction);
  line += " " + std::to_string(entry.length) + " " + DigestText(entry) + " -> " +
          Outcome(entry.answer);
  line += DeliveryNote(entry.answer.delivery);
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
