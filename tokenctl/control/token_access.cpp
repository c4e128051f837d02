#include "token_access.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ansi_text.h"
#include "log_file.h"
#include "token_text.h"
#include "trace.h"

namespace orv::tokenctl {
namespace {

const wchar_t kMiddlewareFile[] = L"Sarnovi_XT.dll";
// The log's code of a middleware that cannot be loaded (the load's result, 6).
const wchar_t kMiddlewareFailedCode[] = L"M-6";
constexpr CK_FLAGS kSessionFlags = CKF_SERIAL_SESSION | CKF_RW_SESSION;

// The application pointer of every session: 256 zero bytes holding "OstwinCtrl". Process-wide,
// because a session left open after a login may outlive the control object.
unsigned char* sessionApplicationData() {
  static unsigned char data[256] = "OstwinCtrl";
  return data;
}

// The live controls that initialised the middleware or joined it, in this process.
std::atomic<int> middlewareHolders{0};

// Diagnostic lines for the debugger. They name calls and return codes, never PINs.
void debugLine(const char* what, CK_RV rv) {
  char line[128];
  std::snprintf(line, sizeof line, "OstwinCtrl: %s returned 0x%lx\n", what,
                static_cast<unsigned long>(rv));
  traceText(line);
}

std::wstring hex(CK_RV rv) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%lx", static_cast<unsigned long>(rv));
  return text;
}

std::wstring slotText(CK_SLOT_ID slot) {
  return L"slot " + std::to_wstring(static_cast<unsigned long>(slot));
}

CK_UTF8CHAR_PTR pinBytes(const std::string& pin) {
  return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(pin.c_str()));
}

}  // namespace

TokenAccess::~TokenAccess() {
  tokens_.clear();
  // The middleware is one per process: only the last control using it finalises it, so a page
  // that lets one control go keeps the other controls' middleware and logins.
  if (holdsMiddleware_ && --middlewareHolders == 0 && functions_) functions_->C_Finalize(nullptr);
  unload();
}

void TokenAccess::unload() {
  functions_ = nullptr;
  aux_ = nullptr;
  library_.reset();
}

int TokenAccess::loadAtConstruction() {
  const int result = load();
  if (result == kLoadOk) ready_ = true;
  return result;
}

int TokenAccess::load() {
  if (ready_) return kLoadOk;
  if (!library_) {
    library_.reset(::LoadLibraryW(kMiddlewareFile));
    if (!library_)
      return loadFailed(std::wstring(kMiddlewareFile) + L" cannot be loaded, error " +
                        std::to_wstring(::GetLastError()));
  }
  if (!functions_) {
    auto getFunctions = reinterpret_cast<CK_C_GetFunctionList>(
        reinterpret_cast<void*>(::GetProcAddress(library_.get(), "C_GetFunctionList")));
    CK_FUNCTION_LIST_PTR functions = nullptr;
    if (!getFunctions || getFunctions(&functions) != CKR_OK || !functions)
      return loadFailed(std::wstring(kMiddlewareFile) + L" gives no C_GetFunctionList");
    auto getAux = reinterpret_cast<GetAuxFunctionListFn>(
        reinterpret_cast<void*>(::GetProcAddress(library_.get(), "E_GetAuxFunctionList")));
    AuxFunctionList* aux = nullptr;
    if (!getAux || getAux(&aux) != CKR_OK || !aux)
      return loadFailed(std::wstring(kMiddlewareFile) + L" gives no E_GetAuxFunctionList");
    functions_ = functions;
    aux_ = aux;
  }
  const CK_RV rv = functions_->C_Initialize(nullptr);
  if (rv != CKR_OK && rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) {
    debugLine("C_Initialize", rv);
    return loadFailed(L"C_Initialize of " + std::wstring(kMiddlewareFile) + L" returned " +
                      hex(rv));
  }
  if (!holdsMiddleware_) {
    holdsMiddleware_ = true;
    ++middlewareHolders;
  }
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(library_.get(), path, MAX_PATH);
  logOnChange(lastLoadLine_, L"-", std::wstring(kMiddlewareFile) + L" loaded from " + path);
  return kLoadOk;
}

int TokenAccess::loadFailed(const std::wstring& why) {
  unload();
  logOnChange(lastLoadLine_, kMiddlewareFailedCode, why);
  return kLoadFailed;
}

void TokenAccess::logOnChange(std::wstring& last, const std::wstring& code,
                              const std::wstring& text) {
  if (last == code + text) return;
  last = code + text;
  logLine(code, text);
}

bool TokenAccess::enumerate() {
  if (!functions_ && load() != kLoadOk) return false;
  CK_ULONG count = 0;
  CK_RV rv = functions_->C_GetSlotList(CK_TRUE, nullptr, &count);
  if (rv == CKR_OK && count > 0) {
    std::vector<CK_SLOT_ID> slots(count);
    rv = functions_->C_GetSlotList(CK_TRUE, slots.data(), &count);
    if (rv == CKR_OK && count > 0) {
      slots.resize(count);
      fillTokens(slots);
      return true;
    }
  }
  logOnChange(lastTokensLine_, L"-",
              rv != CKR_OK ? L"C_GetSlotList returned " + hex(rv) : L"no token present");
  return false;
}

void TokenAccess::fillTokens(const std::vector<CK_SLOT_ID>& slots) {
  std::wstring found;
  tokens_.clear();
  for (CK_SLOT_ID slot : slots) {
    CK_TOKEN_INFO info;
    std::memset(&info, 0, sizeof info);
    if (functions_->C_GetTokenInfo(slot, &info) != CKR_OK) continue;  // unreadable: skipped
    TokenEntry entry;
    entry.slot = slot;
    entry.label = trimTrailingBlanks(info.label, sizeof info.label);
    entry.serial = trimTrailingBlanks(info.serialNumber, sizeof info.serialNumber);
    tokens_[entry.serial] = entry;
    found += L"; " + slotText(slot) + L" serial " + toWide(entry.serial);
  }
  // The slots found, when they change: never a label (it may be the customer's name).
  logOnChange(lastTokensLine_, L"-", L"tokens: " + std::to_wstring(tokens_.size()) + found);
}

const TokenEntry* TokenAccess::findBySlot(CK_SLOT_ID slot) const {
  for (const auto& item : tokens_)
    if (item.second.slot == slot) return &item.second;
  return nullptr;
}

CK_RV TokenAccess::openSession(CK_SLOT_ID slot, Pkcs11Session& session) {
  const CK_RV rv = functions_->C_OpenSession(slot, kSessionFlags, sessionApplicationData(), nullptr,
                                             session.receive());
  if (rv != CKR_OK) session.release();  // nothing was opened
  if (rv != CKR_OK) {
    debugLine("C_OpenSession", rv);
    logLine(L"-", slotText(slot) + L": C_OpenSession returned " + hex(rv));
  }
  return rv;
}

TokenResult TokenAccess::login(CK_SLOT_ID slot, const std::string& pin, Pkcs11Session& session) {
  if (openSession(slot, session) != CKR_OK) return {-1, false};
  unsigned attemptsLeft = 0;
  unsigned char record[kPinRecordSize] = {};
  if (aux_->readPinRecord(slot, record) == CKR_OK) attemptsLeft = record[kPinRecordAttemptsOffset];

  const CK_RV rv = functions_->C_Login(session.get(), CKU_USER, pinBytes(pin),
                                       static_cast<CK_ULONG>(pin.size()));
  if (rv == CKR_OK || rv == CKR_USER_ALREADY_LOGGED_IN) return {0, true};
  debugLine("C_Login", rv);
  session.close();
  // An unreadable attempt counter still answers as a failure (-1).
  const auto result = wrongPinResult(attemptsLeft);
  logLine(L"-", slotText(slot) + L": PIN refused, C_Login returned " + hex(rv) + L", " +
                    std::to_wstring(attemptsLeft) + L" attempts left before it");
  return {result ? *result : -1, false};
}

TokenResult TokenAccess::verifyPin(CK_SLOT_ID slot, const std::string& pin) {
  Pkcs11Session session(functions_);
  const TokenResult result = login(slot, pin, session);
  // An accepted login leaves its session open, so that the login stays in force.
  session.release();
  if (result.ok) logLine(L"-", slotText(slot) + L": PIN verified");
  return result;
}

TokenResult TokenAccess::changePin(CK_SLOT_ID slot, const std::string& oldPin,
                                   const std::string& newPin) {
  Pkcs11Session session(functions_);
  const TokenResult logged = login(slot, oldPin, session);
  if (!logged.ok) return logged;
  const CK_RV rv =
      functions_->C_SetPIN(session.get(), pinBytes(oldPin), static_cast<CK_ULONG>(oldPin.size()),
                           pinBytes(newPin), static_cast<CK_ULONG>(newPin.size()));
  session.close();
  if (rv != CKR_OK) {
    debugLine("C_SetPIN", rv);
    logLine(L"-", slotText(slot) + L": PIN not changed, C_SetPIN returned " + hex(rv));
    return {-2, false};
  }
  logLine(L"-", slotText(slot) + L": PIN changed");
  return {0, true};
}

TokenResult TokenAccess::logoutAll() {
  for (const auto& item : tokens_) {
    Pkcs11Session session(functions_);
    if (openSession(item.second.slot, session) != CKR_OK) return {96, false};
    const CK_RV rv = functions_->C_Logout(session.get());
    session.close();
    if (rv != CKR_OK && rv != CKR_USER_NOT_LOGGED_IN) {
      debugLine("C_Logout", rv);
      return {96, false};
    }
  }
  return {0, true};
}

long TokenAccess::rename(CK_SLOT_ID slot, const std::string& newName) {
  return static_cast<long>(aux_->setLabel(slot, 1, 0, 0, newName.c_str()));
}

TokenResult TokenAccess::initialise(CK_SLOT_ID slot) {
  static const char kTokenName[] = "Kessel Token";
  static const char kFixedText[] = "ostkey";
  static const char kDefaultUserPin[] = "731842";

  CK_TOKEN_INFO info;
  std::memset(&info, 0, sizeof info);
  functions_->C_GetTokenInfo(slot, &info);
  functions_->C_CloseAllSessions(slot);

  TokenInitRecord record;
  std::memset(&record, 0, sizeof record);
  record.hardwareMajor = info.hardwareVersion.major;
  record.hardwareMinor = info.hardwareVersion.minor;
  record.tokenName = kTokenName;
  record.fixedText = kFixedText;
  record.defaultUserPin = kDefaultUserPin;
  record.byte19 = 6;
  record.byte20 = 6;
  record.totalPublicMemory = static_cast<std::uint32_t>(info.ulTotalPublicMemory);
  record.totalPrivateMemory = static_cast<std::uint32_t>(info.ulTotalPrivateMemory);
  record.value39 = 0x00020001;
  const CK_RV rv = aux_->initToken(slot, &record);
  if (rv != CKR_OK) {
    debugLine("aux initialise token", rv);
    return {-1, false};
  }
  return {0, true};
}

std::string TokenAccess::certificateField(CK_SLOT_ID slot, CertField field) {
  Pkcs11Session owner(functions_);
  if (openSession(slot, owner) != CKR_OK) return std::string();
  const CK_SESSION_HANDLE session = owner.get();

  std::vector<unsigned char> value;
  CK_OBJECT_CLASS certificateClass = CKO_CERTIFICATE;
  CK_ATTRIBUTE search = {CKA_CLASS, &certificateClass, sizeof certificateClass};
  if (functions_->C_FindObjectsInit(session, &search, 1) == CKR_OK) {
    CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
    CK_ULONG found = 0;
    if (functions_->C_FindObjects(session, &object, 1, &found) == CKR_OK && found == 1) {
      CK_ATTRIBUTE attribute = {CKA_VALUE, nullptr, 0};
      if (functions_->C_GetAttributeValue(session, object, &attribute, 1) == CKR_OK &&
          attribute.ulValueLen != CK_UNAVAILABLE_INFORMATION && attribute.ulValueLen > 0) {
        std::vector<unsigned char> buffer(attribute.ulValueLen + 1);
        attribute.pValue = buffer.data();
        if (functions_->C_GetAttributeValue(session, object, &attribute, 1) == CKR_OK &&
            attribute.ulValueLen < buffer.size()) {
          buffer.resize(attribute.ulValueLen);
          value.swap(buffer);
        }
      }
    }
    functions_->C_FindObjectsFinal(session);
  }
  owner.close();
  return formatCertificateField(value, field);
}

}  // namespace orv::tokenctl
