// Replacing a file where the system has no replacing move: on Windows 9x
// MoveFileExA does nothing and MoveFileA fails when the new name is taken.
// The earlier file is moved aside first and put back when the new one
// cannot take its place, so that it is never lost.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The plain operations the replacement is made of.
class PlainMoves {
 public:
  virtual ~PlainMoves() = default;
  virtual bool Exists(const std::string& path) = 0;
  // Renames; fails when `to` is taken.
  virtual bool Move(const std::string& from, const std::string& to) = 0;
  virtual bool Remove(const std::string& path) = 0;
  virtual std::uint32_t NameSeed() = 0;
};

// Puts `from` in the place of `to`: with no `to`, one move; otherwise `to`
// goes aside to "<to>.old<8 hex digits>", `from` takes its name, and the
// aside file is removed. When `from` cannot take the name the earlier file
// is moved back and the result is false, `from` still there (should even
// that move fail, the earlier file keeps the aside name: moved, not lost).
// A failed removal of the aside file leaves it beside the new one, which is
// in place.
bool ReplaceMovingAside(PlainMoves& moves, const std::string& from, const std::string& to);

}  // namespace platform
