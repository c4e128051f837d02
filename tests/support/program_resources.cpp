#include "program_resources.h"

namespace orv::test {

namespace {

std::string resourceBytes(HMODULE module, HRSRC info) {
  if (!info) return {};
  HGLOBAL data = LoadResource(module, info);
  if (!data) return {};
  return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(module, info));
}

}  // namespace

ProgramResources::ProgramResources(std::wstring path)
    : path_(std::move(path)),
      module_(LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}

std::string ProgramResources::bytes(LPCWSTR type, LPCWSTR name) const {
  return resourceBytes(module_.get(), FindResourceW(module_.get(), name, type));
}

std::string ProgramResources::bytes(LPCWSTR type, LPCWSTR name, WORD language) const {
  return resourceBytes(module_.get(), FindResourceExW(module_.get(), type, name, language));
}

std::vector<char> ProgramResources::versionBlock() const {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path_.c_str(), &ignored);
  std::vector<char> block(size);
  if (size == 0 || !GetFileVersionInfoW(path_.c_str(), 0, size, block.data())) block.clear();
  return block;
}

bool ProgramResources::fileVersion(DWORD* high, DWORD* low) const {
  std::vector<char> block = versionBlock();
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (block.empty() ||
      !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed)
    return false;
  *high = fixed->dwFileVersionMS;
  *low = fixed->dwFileVersionLS;
  return true;
}

std::wstring ProgramResources::versionText(const wchar_t* name) const {
  std::vector<char> block = versionBlock();
  wchar_t* text = nullptr;
  UINT length = 0;
  if (block.empty() ||
      !VerQueryValueW(block.data(), (std::wstring(L"\\StringFileInfo\\080404b0\\") + name).c_str(),
                      reinterpret_cast<void**>(&text), &length) ||
      !text)
    return {};
  return text;
}

}  // namespace orv::test
