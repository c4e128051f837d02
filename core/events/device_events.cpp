#include "device_events.h"

#include <dbt.h>

#include <cstddef>
#include <ctime>
#include <cwchar>

#include "Kavrel.h"
#include "ansi_text.h"

namespace orv {

namespace {

// {53F56308-B6BF-11D0-94F2-00A0C91EFB8B}
const GUID kCdromInterface = {0x53F56308, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
// {4D1E55B2-F16F-11CF-88CB-001111000030}
const GUID kHidInterface = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

}  // namespace

std::optional<std::wstring> deviceInterfaceName(LPARAM record) {
  if (record == 0) return std::nullopt;
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(record);
  // The type decides the layout; only then may the name's position be read.
  if (header->dbch_size < sizeof(DEV_BROADCAST_HDR)) return std::nullopt;
  if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) return std::nullopt;
  constexpr std::size_t nameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
  if (header->dbch_size < nameOffset) return std::nullopt;
  const auto* deviceRecord = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(record);
  const std::size_t maxChars = (header->dbch_size - nameOffset) / sizeof(wchar_t);
  return std::wstring(deviceRecord->dbcc_name, ::wcsnlen(deviceRecord->dbcc_name, maxChars));
}

std::string lowerCaseAnsiName(const std::wstring& name) {
  std::wstring lower = name;
  if (!lower.empty()) ::CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
  return toNarrow(lower);
}

SecondsClock systemSecondsClock() {
  return [] { return static_cast<std::int64_t>(::_time64(nullptr)); };
}

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
  for (void* handle : handles_.items()) ::UnregisterDeviceNotification(static_cast<HDEVNOTIFY>(handle));
  handles_.clear();
}

DeviceEventForwarder::DeviceEventForwarder(LuaObject* engine, SecondsClock clock)
    : engine_(engine), state_(std::move(clock)), debugOutput_([](const char* text) {
        ::OutputDebugStringA(text);
      }) {}

LRESULT DeviceEventForwarder::onDeviceChange(WPARAM eventCode, LPARAM record) {
  if (auto name = deviceInterfaceName(record))
    state_.onInterfaceEvent(static_cast<std::uint32_t>(eventCode), lowerCaseAnsiName(*name));
  return TRUE;
}

bool DeviceEventForwarder::onSettleTick() {
  const SettleDecision decision = state_.onSettleTick();
  if (decision.debugText && debugOutput_) debugOutput_(decision.debugText);
  if (!decision.deliver) return false;
  if (engine_ != nullptr) engine_->KavrelFunc(2, callbackName_.c_str(), decision.text.c_str());
  return true;
}

}  // namespace orv
