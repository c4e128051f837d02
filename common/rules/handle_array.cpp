#include "handle_array.h"

#include <new>
#include <stdexcept>

namespace orv {

bool HandleArray::append(void* handle) {
  if (items_.size() == capacity_) {
    const std::size_t grown = capacity_ == 0 ? 1 : capacity_ * 2;
    if (grown > maxCapacity_) return false;
    try {
      items_.reserve(grown);
    } catch (const std::bad_alloc&) {
      return false;
    } catch (const std::length_error&) {
      return false;
    }
    capacity_ = grown;
  }
  items_.push_back(handle);
  return true;
}

void HandleArray::clear() {
  std::vector<void*>().swap(items_);
  capacity_ = 0;
}

}  // namespace orv
