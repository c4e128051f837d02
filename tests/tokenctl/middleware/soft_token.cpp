// "Sarnovi_XT.dll" for tests only: a software token library with the PKCS#11 functions the
// control calls and the vendor's aux function list. The tokens come from the file named by the
// environment variable ORV_SOFTTOKEN_CONFIG (read at C_Initialize, written back when a token
// changes); every call is appended to the file named by ORV_SOFTTOKEN_LOG, never with a PIN.
// It keeps the standard's rules on initialisation, sessions, login state and find operations, so
// that a control calling in the wrong order gets the standard's error codes.
#define CRYPTOKI_EXPORTS
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "aux_function_list.h"
#include "pkcs11_win.h"

extern "C" CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list);

namespace {

constexpr unsigned kMaxAttempts = 6;

struct Token {
  CK_SLOT_ID slot = 0;
  std::string label, serial, pin = "123456", certPath;
  unsigned attempts = kMaxAttempts;
  bool infoReadable = true, counterReadable = true;
  int hwMajor = 1, hwMinor = 0;
  CK_ULONG publicMemory = 65536, privateMemory = 32768;
  std::vector<unsigned char> cert;  // DER, empty when the token holds none
  bool loggedIn = false;
};

struct Session {
  CK_SLOT_ID slot = 0;
  bool rw = false;
  bool findActive = false;
  std::vector<CK_OBJECT_HANDLE> found;
  size_t next = 0;
};

bool g_initialized = false;
bool g_refuseInitialize = false;
std::vector<Token> g_tokens;
std::map<CK_SESSION_HANDLE, Session> g_sessions;
CK_SESSION_HANDLE g_nextSession = 1;

std::string envValue(const char* name) {
  char buffer[1024];
  const DWORD n = ::GetEnvironmentVariableA(name, buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

void logLine(const char* format, ...) {
  const std::string path = envValue("ORV_SOFTTOKEN_LOG");
  if (path.empty()) return;
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (FILE* f = std::fopen(path.c_str(), "a")) {
    std::fprintf(f, "%s\n", line);
    std::fclose(f);
  }
}

CK_RV logged(const char* call, CK_SLOT_ID slot, CK_RV rv) {
  logLine("%s slot=%lu rv=0x%lx", call, static_cast<unsigned long>(slot),
          static_cast<unsigned long>(rv));
  return rv;
}

std::vector<unsigned char> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

// Config: "refuse_initialize=1" and [token] sections of key=value lines.
void loadConfig() {
  g_tokens.clear();
  g_refuseInitialize = false;
  std::ifstream in(envValue("ORV_SOFTTOKEN_CONFIG"));
  std::string line;
  Token* t = nullptr;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "[token]") {
      g_tokens.emplace_back();
      t = &g_tokens.back();
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "refuse_initialize") g_refuseInitialize = value == "1";
    if (!t) continue;
    if (key == "slot") t->slot = std::stoul(value);
    else if (key == "label") t->label = value;
    else if (key == "serial") t->serial = value;
    else if (key == "pin") t->pin = value;
    else if (key == "attempts") t->attempts = std::stoul(value);
    else if (key == "cert") { t->certPath = value; t->cert = readFile(value); }
    else if (key == "info") t->infoReadable = value != "unreadable";
    else if (key == "counter") t->counterReadable = value != "unreadable";
    else if (key == "hardware") std::sscanf(value.c_str(), "%d.%d", &t->hwMajor, &t->hwMinor);
  }
}

void saveConfig() {
  const std::string path = envValue("ORV_SOFTTOKEN_CONFIG");
  std::ofstream out(path, std::ios::trunc);
  if (g_refuseInitialize) out << "refuse_initialize=1\n";
  for (const Token& t : g_tokens) {
    out << "[token]\nslot=" << t.slot << "\nlabel=" << t.label << "\nserial=" << t.serial
        << "\npin=" << t.pin << "\nattempts=" << t.attempts << "\nhardware=" << t.hwMajor << "."
        << t.hwMinor << "\n";
    if (!t.certPath.empty()) out << "cert=" << t.certPath << "\n";
    if (!t.infoReadable) out << "info=unreadable\n";
    if (!t.counterReadable) out << "counter=unreadable\n";
  }
}

Token* tokenOf(CK_SLOT_ID slot) {
  for (Token& t : g_tokens)
    if (t.slot == slot) return &t;
  return nullptr;
}

Session* sessionOf(CK_SESSION_HANDLE h) {
  auto it = g_sessions.find(h);
  return it == g_sessions.end() ? nullptr : &it->second;
}

bool slotHasSessions(CK_SLOT_ID slot) {
  for (const auto& s : g_sessions)
    if (s.second.slot == slot) return true;
  return false;
}

// The login state of a token ends with the last session on it.
void closeSession(CK_SESSION_HANDLE h) {
  const CK_SLOT_ID slot = g_sessions.at(h).slot;
  g_sessions.erase(h);
  if (!slotHasSessions(slot))
    if (Token* t = tokenOf(slot)) t->loggedIn = false;
}

void fillPadded(unsigned char* field, size_t width, const std::string& text) {
  std::memset(field, ' ', width);
  std::memcpy(field, text.data(), text.size() < width ? text.size() : width);
}

CK_OBJECT_HANDLE certHandle(CK_SLOT_ID slot) { return slot * 100 + 1; }

#define NEED_INIT() \
  do { if (!g_initialized) return CKR_CRYPTOKI_NOT_INITIALIZED; } while (0)

CK_RV initialize(void* args) {
  if (g_initialized) return logged("C_Initialize", 0, CKR_CRYPTOKI_ALREADY_INITIALIZED);
  loadConfig();
  if (g_refuseInitialize) return logged("C_Initialize", 0, CKR_GENERAL_ERROR);
  (void)args;
  g_initialized = true;
  return logged("C_Initialize", 0, CKR_OK);
}

CK_RV finalize(void* reserved) {
  if (reserved) return CKR_ARGUMENTS_BAD;
  NEED_INIT();
  g_sessions.clear();
  g_tokens.clear();
  g_initialized = false;
  return logged("C_Finalize", 0, CKR_OK);
}

CK_RV getSlotList(CK_BBOOL present, CK_SLOT_ID_PTR list, CK_ULONG_PTR count) {
  NEED_INIT();
  (void)present;  // every configured slot holds a token
  if (!count) return CKR_ARGUMENTS_BAD;
  const CK_ULONG n = static_cast<CK_ULONG>(g_tokens.size());
  if (!list) { *count = n; return CKR_OK; }
  if (*count < n) { *count = n; return CKR_BUFFER_TOO_SMALL; }
  for (CK_ULONG i = 0; i < n; ++i) list[i] = g_tokens[i].slot;
  *count = n;
  return CKR_OK;
}

CK_RV getTokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO_PTR info) {
  NEED_INIT();
  Token* t = tokenOf(slot);
  if (!t) return logged("C_GetTokenInfo", slot, CKR_SLOT_ID_INVALID);
  if (!info) return CKR_ARGUMENTS_BAD;
  if (!t->infoReadable) return logged("C_GetTokenInfo", slot, CKR_DEVICE_ERROR);
  fillPadded(info->label, sizeof info->label, t->label);
  fillPadded(info->manufacturerID, sizeof info->manufacturerID, "Test Token Maker");
  fillPadded(info->model, sizeof info->model, "Soft Token");
  fillPadded(info->serialNumber, sizeof info->serialNumber, t->serial);
  info->flags = CKF_LOGIN_REQUIRED | CKF_USER_PIN_INITIALIZED | CKF_TOKEN_INITIALIZED;
  info->ulMaxSessionCount = CK_EFFECTIVELY_INFINITE;
  info->ulSessionCount = 0;
  info->ulMaxRwSessionCount = CK_EFFECTIVELY_INFINITE;
  info->ulRwSessionCount = 0;
  info->ulMaxPinLen = 16;
  info->ulMinPinLen = 4;
  info->ulTotalPublicMemory = t->publicMemory;
  info->ulFreePublicMemory = t->publicMemory;
  info->ulTotalPrivateMemory = t->privateMemory;
  info->ulFreePrivateMemory = t->privateMemory;
  info->hardwareVersion.major = static_cast<CK_BYTE>(t->hwMajor);
  info->hardwareVersion.minor = static_cast<CK_BYTE>(t->hwMinor);
  info->firmwareVersion.major = 1;
  info->firmwareVersion.minor = 0;
  std::memset(info->utcTime, ' ', sizeof info->utcTime);
  return logged("C_GetTokenInfo", slot, CKR_OK);
}

CK_RV openSession(CK_SLOT_ID slot, CK_FLAGS flags, void* app, CK_NOTIFY notify,
                  CK_SESSION_HANDLE_PTR session) {
  NEED_INIT();
  (void)notify;
  if (!tokenOf(slot)) return logged("C_OpenSession", slot, CKR_SLOT_ID_INVALID);
  if (!(flags & CKF_SERIAL_SESSION))
    return logged("C_OpenSession", slot, CKR_SESSION_PARALLEL_NOT_SUPPORTED);
  if (!session) return CKR_ARGUMENTS_BAD;
  const CK_SESSION_HANDLE h = g_nextSession++;
  Session s;
  s.slot = slot;
  s.rw = (flags & CKF_RW_SESSION) != 0;
  g_sessions[h] = s;
  *session = h;
  logLine("C_OpenSession slot=%lu flags=%lu app=%s session=%lu rv=0x0",
          static_cast<unsigned long>(slot), static_cast<unsigned long>(flags),
          app ? static_cast<const char*>(app) : "(null)", static_cast<unsigned long>(h));
  return CKR_OK;
}

CK_RV closeSessionCall(CK_SESSION_HANDLE h) {
  NEED_INIT();
  Session* s = sessionOf(h);
  if (!s) return logged("C_CloseSession", 0, CKR_SESSION_HANDLE_INVALID);
  const CK_SLOT_ID slot = s->slot;
  closeSession(h);
  return logged("C_CloseSession", slot, CKR_OK);
}

CK_RV closeAllSessions(CK_SLOT_ID slot) {
  NEED_INIT();
  if (!tokenOf(slot)) return logged("C_CloseAllSessions", slot, CKR_SLOT_ID_INVALID);
  for (auto it = g_sessions.begin(); it != g_sessions.end();)
    it = it->second.slot == slot ? g_sessions.erase(it) : std::next(it);
  tokenOf(slot)->loggedIn = false;
  return logged("C_CloseAllSessions", slot, CKR_OK);
}

CK_RV login(CK_SESSION_HANDLE h, CK_USER_TYPE user, CK_UTF8CHAR_PTR pin, CK_ULONG length) {
  NEED_INIT();
  Session* s = sessionOf(h);
  if (!s) return logged("C_Login", 0, CKR_SESSION_HANDLE_INVALID);
  Token* t = tokenOf(s->slot);
  if (user != CKU_USER) return logged("C_Login", s->slot, CKR_USER_TYPE_INVALID);
  if (t->loggedIn) return logged("C_Login", s->slot, CKR_USER_ALREADY_LOGGED_IN);
  if (!pin && length) return CKR_ARGUMENTS_BAD;
  if (t->attempts == 0) return logged("C_Login", s->slot, CKR_PIN_LOCKED);
  if (std::string(reinterpret_cast<const char*>(pin), length) != t->pin) {
    --t->attempts;
    saveConfig();
    return logged("C_Login", s->slot, CKR_PIN_INCORRECT);
  }
  t->attempts = kMaxAttempts;
  t->loggedIn = true;
  saveConfig();
  return logged("C_Login", s->slot, CKR_OK);
}

CK_RV logout(CK_SESSION_HANDLE h) {
  NEED_INIT();
  Session* s = sessionOf(h);
  if (!s) return logged("C_Logout", 0, CKR_SESSION_HANDLE_INVALID);
  Token* t = tokenOf(s->slot);
  if (!t->loggedIn) return logged("C_Logout", s->slot, CKR_USER_NOT_LOGGED_IN);
  t->loggedIn = false;
  return logged("C_Logout", s->slot, CKR_OK);
}

CK_RV setPin(CK_SESSION_HANDLE h, CK_UTF8CHAR_PTR oldPin, CK_ULONG oldLength,
             CK_UTF8CHAR_PTR newPin, CK_ULONG newLength) {
  NEED_INIT();
  Session* s = sessionOf(h);
  if (!s) return logged("C_SetPIN", 0, CKR_SESSION_HANDLE_INVALID);
  Token* t = tokenOf(s->slot);
  if (!s->rw) return logged("C_SetPIN", s->slot, CKR_SESSION_READ_ONLY);
  if (!t->loggedIn) return logged("C_SetPIN", s->slot, CKR_USER_NOT_LOGGED_IN);
  if (!oldPin || !newPin) return CKR_ARGUMENTS_BAD;
  if (std::string(reinterpret_cast<const char*>(oldPin), oldLength) != t->pin)
    return logged("C_SetPIN", s->slot, CKR_PIN_INCORRECT);
  if (newLength < 4 || newLength > 16) return logged("C_SetPIN", s->slot, CKR_PIN_LEN_RANGE);
  t->pin.assign(reinterpret_cast<const char*>(newPin), newLength);
  saveConfig();
  return logged("C_SetPIN", s->slot, CKR_OK);
}

CK_RV findObjectsInit(CK_SESSION_HANDLE h, CK_ATTRIBUTE_PTR templ, CK_ULONG count) {
  NEED_INIT();
  Session* s = sessionOf(h);
  if (!s) return logged("C_FindObjectsInit", 0, CKR_SESSION_HANDLE_INVALID);
  if (s->findActive) return logged("C_FindObjectsInit", s->slot, CKR_OPERATION_ACTIVE);
  if (count && !templ) return CKR_ARGUMENTS_BAD;
  bool wantsCertificate = true;
  for (CK_ULONG i = 0; i < count; ++i) {
    if (templ[i].type != CKA_CLASS) { wantsCertificate = false; continue; }
    if (templ[i].ulValueLen != sizeof(CK_OBJECT_CLASS) || !templ[i].pValue)
      return logged("C_FindObjectsInit", s->slot, CKR_ATTRIBUTE_VALUE_INVALID);
    CK_OBJECT_CLASS c;
    std::memcpy(&c, templ[i].pValue, sizeof c);
    if (c != CKO_CERTIFICATE) wantsCertificate = false;
  }
  s->found.clear();
  s->next = 0;
  if (wantsCertificate && !tokenOf(s->slot)->cert.empty()) s->found.push_back(certHandle(s->slot));
  s->findActive = true;
  return logged("C_FindObjectsInit", s->slot, CKR_OK);
}

CK_RV findObjects(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE_PTR objects, CK_ULONG max,
                  CK_ULONG_PTR count) {
  NEED_INIT();
  Session* s = sessionOf(h);
  if (!s) return logged("C_FindObjects", 0, CKR_SESSION_HANDLE_INVALID);
  if (!s->findActive) return logged("C_FindObjects", s->slot, CKR_OPERATION_NOT_INITIALIZED);
  if (!objects || !count) return CKR_ARGUMENTS_BAD;
  CK_ULONG n = 0;
  while (n < max && s->next < s->found.size()) objects[n++] = s->found[s->next++];
  *count = n;
  return logged("C_FindObjects", s->slot, CKR_OK);
}

CK_RV findObjectsFinal(CK_SESSION_HANDLE h) {
  NEED_INIT();
  Session* s = sessionOf(h);
  if (!s) return logged("C_FindObjectsFinal", 0, CKR_SESSION_HANDLE_INVALID);
  if (!s->findActive) return logged("C_FindObjectsFinal", s->slot, CKR_OPERATION_NOT_INITIALIZED);
  s->findActive = false;
  return logged("C_FindObjectsFinal", s->slot, CKR_OK);
}

CK_RV getAttributeValue(CK_SESSION_HANDLE h, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR templ,
                        CK_ULONG count) {
  NEED_INIT();
  Session* s = sessionOf(h);
  if (!s) return logged("C_GetAttributeValue", 0, CKR_SESSION_HANDLE_INVALID);
  Token* t = tokenOf(s->slot);
  if (t->cert.empty() || object != certHandle(s->slot))
    return logged("C_GetAttributeValue", s->slot, CKR_OBJECT_HANDLE_INVALID);
  if (!templ) return CKR_ARGUMENTS_BAD;
  CK_RV rv = CKR_OK;
  for (CK_ULONG i = 0; i < count; ++i) {
    CK_ATTRIBUTE& a = templ[i];
    if (a.type != CKA_VALUE) {
      a.ulValueLen = CK_UNAVAILABLE_INFORMATION;
      rv = CKR_ATTRIBUTE_TYPE_INVALID;
      continue;
    }
    const CK_ULONG size = static_cast<CK_ULONG>(t->cert.size());
    if (!a.pValue) {
      a.ulValueLen = size;
    } else if (a.ulValueLen < size) {
      a.ulValueLen = CK_UNAVAILABLE_INFORMATION;
      rv = CKR_BUFFER_TOO_SMALL;
    } else {
      std::memcpy(a.pValue, t->cert.data(), size);
      a.ulValueLen = size;
    }
  }
  return logged("C_GetAttributeValue", s->slot, rv);
}

CK_RV getInfo(CK_INFO_PTR info) {
  NEED_INIT();
  if (!info) return CKR_ARGUMENTS_BAD;
  std::memset(info, 0, sizeof *info);
  info->cryptokiVersion.major = 2;
  info->cryptokiVersion.minor = 20;
  fillPadded(info->manufacturerID, sizeof info->manufacturerID, "Test Token Maker");
  fillPadded(info->libraryDescription, sizeof info->libraryDescription, "Soft token for tests");
  return CKR_OK;
}

CK_RV notSupported() { return CKR_FUNCTION_NOT_SUPPORTED; }

// ---- aux functions ----

CK_RV auxInitToken(CK_SLOT_ID slot, orv::TokenInitRecord* r) {
  NEED_INIT();
  Token* t = tokenOf(slot);
  if (!t) return logged("aux initToken", slot, CKR_SLOT_ID_INVALID);
  if (slotHasSessions(slot)) return logged("aux initToken", slot, CKR_SESSION_EXISTS);
  if (!r || !r->tokenName || !r->fixedText || !r->defaultUserPin)
    return logged("aux initToken", slot, CKR_ARGUMENTS_BAD);
  const bool fixedTextOk = std::strlen(r->fixedText) == 6 &&
      std::strspn(r->fixedText, "abcdefghijklmnopqrstuvwxyz") == 6;
  static const unsigned char kZero[8] = {};
  const bool valid = std::strcmp(r->tokenName, "Kessel Token") == 0 && fixedTextOk &&
      std::strcmp(r->defaultUserPin, "731842") == 0 && r->reserved6 == 0 && r->byte18 == 0 &&
      r->byte19 == 6 && r->byte20 == 6 && r->byte21 == 0 && r->reserved30 == 0 &&
      r->reserved34 == 0 && r->reserved35 == 0 && r->value39 == 0x00020001 &&
      std::memcmp(r->reserved43, kZero, sizeof kZero) == 0 && r->hardwareMajor == t->hwMajor &&
      r->hardwareMinor == t->hwMinor && r->totalPublicMemory == t->publicMemory &&
      r->totalPrivateMemory == t->privateMemory;
  if (!valid) return logged("aux initToken", slot, CKR_TEMPLATE_INCONSISTENT);
  t->label = r->tokenName;
  t->pin = r->defaultUserPin;
  t->attempts = kMaxAttempts;
  t->loggedIn = false;
  saveConfig();
  return logged("aux initToken", slot, CKR_OK);
}

CK_RV auxSetLabel(CK_SLOT_ID slot, CK_ULONG one, CK_ULONG zero1, CK_ULONG zero2,
                  const char* label) {
  NEED_INIT();
  Token* t = tokenOf(slot);
  if (!t) return logged("aux setLabel", slot, CKR_SLOT_ID_INVALID);
  if (one != 1 || zero1 != 0 || zero2 != 0 || !label || std::strlen(label) > 32)
    return logged("aux setLabel", slot, CKR_ARGUMENTS_BAD);
  t->label = label;
  saveConfig();
  return logged("aux setLabel", slot, CKR_OK);
}

CK_RV auxReadPinRecord(CK_SLOT_ID slot, unsigned char* record) {
  NEED_INIT();
  Token* t = tokenOf(slot);
  if (!t) return logged("aux readPinRecord", slot, CKR_SLOT_ID_INVALID);
  if (!record) return CKR_ARGUMENTS_BAD;
  if (!t->counterReadable) return logged("aux readPinRecord", slot, CKR_DEVICE_ERROR);
  std::memset(record, 0, orv::kPinRecordSize);
  record[0] = kMaxAttempts;
  record[orv::kPinRecordAttemptsOffset] = static_cast<unsigned char>(t->attempts);
  return logged("aux readPinRecord", slot, CKR_OK);
}

CK_FUNCTION_LIST g_functions;
orv::AuxFunctionList g_aux;

void buildFunctionList() {
  // Every entry not listed below answers CKR_FUNCTION_NOT_SUPPORTED.
  auto* entries = reinterpret_cast<unsigned char*>(&g_functions) + sizeof(CK_VERSION);
  const size_t count = (sizeof g_functions - sizeof(CK_VERSION)) / sizeof(void*);
  auto stub = reinterpret_cast<void*>(&notSupported);
  for (size_t i = 0; i < count; ++i) std::memcpy(entries + i * sizeof(void*), &stub, sizeof stub);
  g_functions.version.major = 2;
  g_functions.version.minor = 20;
  g_functions.C_GetFunctionList = C_GetFunctionList;
  g_functions.C_Initialize = initialize;
  g_functions.C_Finalize = finalize;
  g_functions.C_GetInfo = getInfo;
  g_functions.C_GetSlotList = getSlotList;
  g_functions.C_GetTokenInfo = getTokenInfo;
  g_functions.C_OpenSession = openSession;
  g_functions.C_CloseSession = closeSessionCall;
  g_functions.C_CloseAllSessions = closeAllSessions;
  g_functions.C_Login = login;
  g_functions.C_Logout = logout;
  g_functions.C_SetPIN = setPin;
  g_functions.C_FindObjectsInit = findObjectsInit;
  g_functions.C_FindObjects = findObjects;
  g_functions.C_FindObjectsFinal = findObjectsFinal;
  g_functions.C_GetAttributeValue = getAttributeValue;
  g_aux.version.major = 1;
  g_aux.version.minor = 0;
  g_aux.initToken = auxInitToken;
  g_aux.setLabel = auxSetLabel;
  g_aux.readPinRecord = auxReadPinRecord;
}

}  // namespace

extern "C" CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list) {
  if (!list) return CKR_ARGUMENTS_BAD;
  buildFunctionList();
  *list = &g_functions;
  return CKR_OK;
}

extern "C" __declspec(dllexport) CK_RV E_GetAuxFunctionList(orv::AuxFunctionList** list) {
  if (!list) return CKR_ARGUMENTS_BAD;
  buildFunctionList();
  *list = &g_aux;
  return CKR_OK;
}
