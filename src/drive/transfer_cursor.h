// The transfer cursor: while the image goes to the drive and comes back, its
// position is the byte offset of the next chunk and its step the chunk
// length. The buffer commands take their offset and length from it, and the
// front that shows the progress holds it, so what is shown is exactly what
// is sent.
#pragma once

#include <cstdint>

namespace drive {

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

// A cursor held by a control that keeps the same four values (a progress
// bar); whatever the control keeps is what the commands read back. An
// adapter, not a second base of platform::ProgressBar: a class with two
// bases brings the C++ library's prebuilt type information for multiple
// inheritance (vmi_class_type_info), whose code needs a Pentium Pro.
template <class Holder>
class CursorOn final : public TransferCursor {
 public:
  explicit CursorOn(Holder& holder) : holder_(holder) {}

  void SetMin(std::int32_t value) override { holder_.SetMin(value); }
  void SetMax(std::int32_t value) override { holder_.SetMax(value); }
  void SetPosition(std::int32_t value) override { holder_.SetPosition(value); }
  void SetStep(std::int32_t value) override { holder_.SetStep(value); }
  void StepIt() override { holder_.StepIt(); }
  std::int32_t Min() const override { return holder_.Min(); }
  std::int32_t Max() const override { return holder_.Max(); }
  std::int32_t Position() const override { return holder_.Position(); }
  std::int32_t Step() const override { return holder_.Step(); }

 private:
  Holder& holder_;
};

}  // namespace drive
