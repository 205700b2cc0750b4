#include "platform/moving_aside.h"

#include "platform/files.h"

namespace platform {

namespace {

// Names tried for the aside file before giving up.
constexpr int kAsideNameTries = 16;

}  // namespace

bool ReplaceMovingAside(PlainMoves& moves, const std::string& from, const std::string& to) {
  if (!moves.Exists(to)) return moves.Move(from, to);
  std::string aside;
  for (int attempt = 0; attempt < kAsideNameTries && aside.empty(); ++attempt) {
    std::string candidate = TaggedName(to, ".old", moves.NameSeed());
    if (!moves.Exists(candidate)) aside = std::move(candidate);
  }
  if (aside.empty() || !moves.Move(to, aside)) return false;
  if (!moves.Move(from, to)) {
    moves.Move(aside, to);
    return false;
  }
  moves.Remove(aside);
  return true;
}

}  // namespace platform
