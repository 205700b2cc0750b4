// The transfer cursor: while the image goes to the drive and comes back, its
// position is the byte offset of the next chunk and its step the chunk
// length. The buffer commands take their offset and length from it, and the
// front that shows the progress holds it (the window's progress bar is
// one), so what is shown is exactly what is sent.
#pragma once

#include <cstdint>

namespace platform {

class TransferCursor {
 public:
  virtual ~TransferCursor() = default;

  virtual void SetMin(std::int32_t value) = 0;
  virtual void SetMax(std::int32_t value) = 0;
  virtual void SetPosition(std::int32_t value) = 0;
  virtual void SetStep(std::int32_t value) = 0;
  virtual void StepIt() = 0;  // position += step, as the holder keeps it
  virtual std::int32_t Min() const = 0;
  virtual std::int32_t Max() const = 0;
  virtual std::int32_t Position() const = 0;
  virtual std::int32_t Step() const = 0;
};

}  // namespace platform
