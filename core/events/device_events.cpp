#include "device_events.h"

#include <dbt.h>

#include <cstddef>
#include <ctime>
#include <cwchar>

#include "Kavrel.h"
#include "ansi_text.h"
#include "trace.h"

namespace orv::core {

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

DeviceEventForwarder::DeviceEventForwarder(LuaObject* engine, SecondsClock clock)
    : engine_(engine),
      state_(std::move(clock)),
      debugOutput_([](const char* text) { traceText(text); }) {}

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

}  // namespace orv::core
