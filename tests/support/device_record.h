#pragma once
// Device broadcast records as the system builds them, for sending WM_DEVICECHANGE in tests.
#include <windows.h>
#include <dbt.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace orv::test {

// A device-interface record: the fixed part, then the name with its terminator.
inline std::vector<unsigned char> interfaceRecord(const std::wstring& name) {
  const size_t offset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
  std::vector<unsigned char> bytes(offset + (name.size() + 1) * sizeof(wchar_t), 0);
  auto* r = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(bytes.data());
  r->dbcc_size = static_cast<DWORD>(bytes.size());
  r->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  std::memcpy(r->dbcc_name, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
  return bytes;
}

}  // namespace orv::test
