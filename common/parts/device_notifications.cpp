#include "device_notifications.h"

#include <dbt.h>

namespace orv {

namespace {

// {53F56308-B6BF-11D0-94F2-00A0C91EFB8B}
const GUID kCdromInterface = {
    0x53F56308, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
// {4D1E55B2-F16F-11CF-88CB-001111000030}
const GUID kHidInterface = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

}  // namespace

DeviceNotifications::~DeviceNotifications() { unregisterAll(); }

std::size_t DeviceNotifications::registerInterfaces(HWND window) {
  for (const GUID* cls : {&kCdromInterface, &kHidInterface}) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    static_assert(sizeof(filter) == 32, "the filter record the system expects");
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = *cls;
    HDEVNOTIFY handle = ::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (handle != nullptr) keep(handle);
  }
  return handles_.count();
}

bool DeviceNotifications::keep(HDEVNOTIFY handle) {
  if (handles_.append(handle)) return true;
  ::UnregisterDeviceNotification(handle);
  return false;
}

void DeviceNotifications::unregisterAll() {
  for (void* handle : handles_.items())
    ::UnregisterDeviceNotification(static_cast<HDEVNOTIFY>(handle));
  handles_.clear();
}

}  // namespace orv
