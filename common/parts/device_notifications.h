#pragma once
// Device-interface notifications of a window for the CD-ROM and HID interface classes, with the
// handles the registrations return, unregistered when their owner goes.
#include <windows.h>

#include <cstddef>

#include "handle_array.h"

namespace orv {

class DeviceNotifications {
 public:
  DeviceNotifications() = default;
  ~DeviceNotifications();
  DeviceNotifications(const DeviceNotifications&) = delete;
  DeviceNotifications& operator=(const DeviceNotifications&) = delete;

  // Registers `window` for arrivals and removals of CD-ROM and HID interfaces, in that order. A
  // failed registration is skipped. Returns how many handles are kept.
  std::size_t registerInterfaces(HWND window);
  // Keeps `handle`; one the array cannot hold is unregistered at once (false).
  bool keep(HDEVNOTIFY handle);
  void unregisterAll();
  const HandleArray& handles() const { return handles_; }

 private:
  HandleArray handles_;
};

}  // namespace orv
