#pragma once
// The growable array the programs keep their device-notification handles in. Pure logic.
#include <cstddef>
#include <vector>

namespace orv {

// Keeps handles (opaque pointers): the capacity becomes 1 on the first append and doubles when
// full, never above `maxCapacity` (0x1FFFFFFF entries by default). A handle for which the array
// cannot grow is not kept, and append() says so, so the caller can let go of it.
class HandleArray {
 public:
  static constexpr std::size_t kMaxCapacity = 0x1FFFFFFF;
  explicit HandleArray(std::size_t maxCapacity = kMaxCapacity) : maxCapacity_(maxCapacity) {}

  bool append(void* handle);
  std::size_t count() const { return items_.size(); }
  std::size_t capacity() const { return capacity_; }
  void* at(std::size_t i) const { return items_[i]; }
  const std::vector<void*>& items() const { return items_; }
  void clear();  // count and capacity 0 again

 private:
  std::size_t maxCapacity_;
  std::size_t capacity_ = 0;
  std::vector<void*> items_;
};

}  // namespace orv
