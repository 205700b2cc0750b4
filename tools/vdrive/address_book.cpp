// 32-bit stand-ins for host pointers, so 32-bit record fields can carry them
// on a 64-bit host.
#include "vdrive/inprocess.h"

namespace vdrive {

std::uint32_t AddressBook::TokenFor(void* pointer) {
  if (pointer == nullptr) return 0;
  const auto known = tokens_.find(pointer);
  if (known != tokens_.end()) return known->second;
  const std::uint32_t token = next_;
  next_ += 0x10;
  tokens_[pointer] = token;
  pointers_[token] = pointer;
  return token;
}

void* AddressBook::PointerFor(std::uint32_t token) const {
  const auto known = pointers_.find(token);
  return known == pointers_.end() ? nullptr : known->second;
}

}  // namespace vdrive
