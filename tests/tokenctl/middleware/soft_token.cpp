// "Sarnovi_XT.dll" for tests only: a software token library with the PKCS#11 functions the
// control calls and the vendor's aux function list. The tokens come from the file named by the
// environment variable ORV_SOFTTOKEN_CONFIG (read at C_Initialize, written back when a token
// changes); every call is appended to the file named by ORV_SOFTTOKEN_LOG, never with a PIN.
// It keeps the standard's rules on initialisation arguments, slot lists, sessions, login state,
// PIN changes, object search and attribute reads, so that a control calling it wrongly gets the
// standard's error codes. Every token holds a data object and a private key before its
// certificate, so a search that does not ask for the certificate class finds something else.
#define CRYPTOKI_EXPORTS
#include <windows.h>

#include <cstdarg>
#include <cstdint>
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
  bool present = true;  // false: an empty slot
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
unsigned g_refusalsLeft = 0;  // C_Initialize refuses this many more times (kept in the file)
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
  g_refusalsLeft = 0;
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
    if (key == "refuse_initialize_times") g_refusalsLeft = std::stoul(value);
    if (!t) continue;
    if (key == "slot")
      t->slot = std::stoul(value);
    else if (key == "label")
      t->label = value;
    else if (key == "serial")
      t->serial = value;
    else if (key == "pin")
      t->pin = value;
    else if (key == "attempts")
      t->attempts = std::stoul(value);
    else if (key == "cert") {
      t->certPath = value;
      t->cert = readFile(value);
    } else if (key == "present")
      t->present = value != "0";
    else if (key == "info")
      t->infoReadable = value != "unreadable";
    else if (key == "counter")
      t->counterReadable = value != "unreadable";
    else if (key == "hardware")
      std::sscanf(value.c_str(), "%d.%d", &t->hwMajor, &t->hwMinor);
  }
}

void saveConfig() {
  const std::string path = envValue("ORV_SOFTTOKEN_CONFIG");
  std::ofstream out(path, std::ios::trunc);
  if (g_refuseInitialize) out << "refuse_initialize=1\n";
  if (g_refusalsLeft) out << "refuse_initialize_times=" << g_refusalsLeft << "\n";
  for (const Token& t : g_tokens) {
    out << "[token]\nslot=" << t.slot << "\nlabel=" << t.label << "\nserial=" << t.serial
        << "\npin=" << t.pin << "\nattempts=" << t.attempts << "\nhardware=" << t.hwMajor << "."
        << t.hwMinor << "\n";
    if (!t.certPath.empty()) out << "cert=" << t.certPath << "\n";
    if (!t.present) out << "present=0\n";
    if (!t.infoReadable) out << "info=unreadable\n";
    if (!t.counterReadable) out << "counter=unreadable\n";
  }
}

// Any configured slot, with or without a token.
Token* slotOf(CK_SLOT_ID slot) {
  for (Token& t : g_tokens)
    if (t.slot == slot) return &t;
  return nullptr;
}

// The token in a slot; null for an unknown or empty slot.
Token* tokenOf(CK_SLOT_ID slot) {
  Token* t = slotOf(slot);
  return t && t->present ? t : nullptr;
}

// The answer for a slot that has no token to work on.
CK_RV missingToken(CK_SLOT_ID slot) {
  return slotOf(slot) ? CKR_TOKEN_NOT_PRESENT : CKR_SLOT_ID_INVALID;
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

// ---- objects: a public data object, a private key and, when configured, the certificate ----

struct Object {
  CK_OBJECT_HANDLE handle = 0;
  bool isPrivate = false;  // visible only while the user is logged in
  std::map<CK_ATTRIBUTE_TYPE, std::vector<unsigned char>> attributes;
  std::vector<CK_ATTRIBUTE_TYPE> sensitive;  // present, but never revealed
};

template <typename T>
std::vector<unsigned char> bytesOf(const T& value) {
  const auto* p = reinterpret_cast<const unsigned char*>(&value);
  return std::vector<unsigned char>(p, p + sizeof value);
}
std::vector<unsigned char> bytesOf(const std::string& text) {
  return std::vector<unsigned char>(text.begin(), text.end());
}

// In search order: the certificate comes last.
std::vector<Object> objectsOf(const Token& t) {
  const CK_BBOOL yes = CK_TRUE, no = CK_FALSE;
  std::vector<Object> objects(2);
  Object& data = objects[0];
  data.handle = t.slot * 100 + 1;
  data.attributes[CKA_CLASS] = bytesOf(CK_OBJECT_CLASS(CKO_DATA));
  data.attributes[CKA_TOKEN] = bytesOf(yes);
  data.attributes[CKA_PRIVATE] = bytesOf(no);
  data.attributes[CKA_LABEL] = bytesOf(std::string("bank settings"));
  data.attributes[CKA_VALUE] = bytesOf(std::string("not a certificate: page settings v1"));
  Object& key = objects[1];
  key.handle = t.slot * 100 + 2;
  key.isPrivate = true;
  key.attributes[CKA_CLASS] = bytesOf(CK_OBJECT_CLASS(CKO_PRIVATE_KEY));
  key.attributes[CKA_KEY_TYPE] = bytesOf(CK_KEY_TYPE(CKK_RSA));
  key.attributes[CKA_TOKEN] = bytesOf(yes);
  key.attributes[CKA_PRIVATE] = bytesOf(yes);
  key.attributes[CKA_SENSITIVE] = bytesOf(yes);
  key.attributes[CKA_PRIVATE_EXPONENT] = std::vector<unsigned char>(128, 0x5a);
  key.sensitive.push_back(CKA_PRIVATE_EXPONENT);
  if (!t.cert.empty()) {
    Object cert;
    cert.handle = t.slot * 100 + 3;
    cert.attributes[CKA_CLASS] = bytesOf(CK_OBJECT_CLASS(CKO_CERTIFICATE));
    cert.attributes[CKA_CERTIFICATE_TYPE] = bytesOf(CK_CERTIFICATE_TYPE(CKC_X_509));
    cert.attributes[CKA_TOKEN] = bytesOf(yes);
    cert.attributes[CKA_PRIVATE] = bytesOf(no);
    cert.attributes[CKA_VALUE] = t.cert;
    objects.push_back(cert);
  }
  return objects;
}

bool visible(const Object& o, const Token& t) { return !o.isPrivate || t.loggedIn; }

// Every attribute of the template present with the same bytes; no attributes match everything.
bool matches(const Object& o, const CK_ATTRIBUTE* templ, CK_ULONG count) {
  for (CK_ULONG i = 0; i < count; ++i) {
    const auto it = o.attributes.find(templ[i].type);
    if (it == o.attributes.end() || it->second.size() != templ[i].ulValueLen) return false;
    if (templ[i].ulValueLen && std::memcmp(it->second.data(), templ[i].pValue, templ[i].ulValueLen))
      return false;
  }
  return true;
}

#define NEED_INIT()                                          \
  do {                                                       \
    if (!g_initialized) return CKR_CRYPTOKI_NOT_INITIALIZED; \
  } while (0)

CK_RV initialize(void* args) {
  if (args) {
    const auto* a = static_cast<const CK_C_INITIALIZE_ARGS*>(args);
    // The reserved member must be null, and the four mutex functions come all or none.
    const int given = (a->CreateMutex != nullptr) + (a->DestroyMutex != nullptr) +
                      (a->LockMutex != nullptr) + (a->UnlockMutex != nullptr);
    if (a->pReserved || (given != 0 && given != 4))
      return logged("C_Initialize", 0, CKR_ARGUMENTS_BAD);
    // This library starts no threads and takes no locks, so any locking choice is served.
  }
  if (g_initialized) return logged("C_Initialize", 0, CKR_CRYPTOKI_ALREADY_INITIALIZED);
  loadConfig();
  if (g_refuseInitialize) return logged("C_Initialize", 0, CKR_GENERAL_ERROR);
  if (g_refusalsLeft) {
    --g_refusalsLeft;
    saveConfig();
    return logged("C_Initialize", 0, CKR_GENERAL_ERROR);
  }
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
  if (!count) return CKR_ARGUMENTS_BAD;
  // tokenPresent TRUE lists only the slots holding a token; FALSE lists every slot.
  std::vector<CK_SLOT_ID> slots;
  for (const Token& t : g_tokens)
    if (t.present || !present) slots.push_back(t.slot);
  const CK_ULONG n = static_cast<CK_ULONG>(slots.size());
  logLine("C_GetSlotList present=%d count=%lu", present ? 1 : 0, static_cast<unsigned long>(n));
  if (!list) {
    *count = n;
    return CKR_OK;
  }
  if (*count < n) {
    *count = n;
    return CKR_BUFFER_TOO_SMALL;
  }
  for (CK_ULONG i = 0; i < n; ++i) list[i] = slots[i];
  *count = n;
  return CKR_OK;
}

CK_RV getTokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO_PTR info) {
  NEED_INIT();
  Token* t = tokenOf(slot);
  if (!t) return logged("C_GetTokenInfo", slot, missingToken(slot));
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
  if (!tokenOf(slot)) return logged("C_OpenSession", slot, missingToken(slot));
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
  if (!tokenOf(slot)) return logged("C_CloseAllSessions", slot, missingToken(slot));
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
  // Allowed in a read/write session, logged in or public (then it changes the user's PIN);
  // refused in a read-only one.
  if (!s->rw) return logged("C_SetPIN", s->slot, CKR_SESSION_READ_ONLY);
  if ((!oldPin && oldLength) || (!newPin && newLength) || !oldPin || !newPin)
    return logged("C_SetPIN", s->slot, CKR_ARGUMENTS_BAD);
  if (t->attempts == 0) return logged("C_SetPIN", s->slot, CKR_PIN_LOCKED);
  if (std::string(reinterpret_cast<const char*>(oldPin), oldLength) != t->pin) {
    --t->attempts;
    saveConfig();
    return logged("C_SetPIN", s->slot, CKR_PIN_INCORRECT);
  }
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
  for (CK_ULONG i = 0; i < count; ++i)
    if (templ[i].ulValueLen && !templ[i].pValue) return CKR_ARGUMENTS_BAD;
  const Token& t = *tokenOf(s->slot);
  s->found.clear();
  s->next = 0;
  for (const Object& o : objectsOf(t))
    if (visible(o, t) && matches(o, templ, count)) s->found.push_back(o.handle);
  s->findActive = true;
  logLine("C_FindObjectsInit slot=%lu attributes=%lu matches=%lu rv=0x0",
          static_cast<unsigned long>(s->slot), static_cast<unsigned long>(count),
          static_cast<unsigned long>(s->found.size()));
  return CKR_OK;
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
  const Token& t = *tokenOf(s->slot);
  const std::vector<Object> objects = objectsOf(t);
  const Object* o = nullptr;
  for (const Object& candidate : objects)
    if (candidate.handle == object && visible(candidate, t)) o = &candidate;
  if (!o) return logged("C_GetAttributeValue", s->slot, CKR_OBJECT_HANDLE_INVALID);
  if (!templ) return CKR_ARGUMENTS_BAD;
  CK_RV rv = CKR_OK;
  for (CK_ULONG i = 0; i < count; ++i) {
    CK_ATTRIBUTE& a = templ[i];
    const auto it = o->attributes.find(a.type);
    bool isSensitive = false;
    for (CK_ATTRIBUTE_TYPE type : o->sensitive) isSensitive = isSensitive || type == a.type;
    if (it == o->attributes.end() || isSensitive) {
      a.ulValueLen = CK_UNAVAILABLE_INFORMATION;
      rv = isSensitive ? CKR_ATTRIBUTE_SENSITIVE : CKR_ATTRIBUTE_TYPE_INVALID;
      continue;
    }
    const CK_ULONG size = static_cast<CK_ULONG>(it->second.size());
    if (!a.pValue) {
      a.ulValueLen = size;
    } else if (a.ulValueLen < size) {
      a.ulValueLen = CK_UNAVAILABLE_INFORMATION;
      rv = CKR_BUFFER_TOO_SMALL;
    } else {
      if (size) std::memcpy(a.pValue, it->second.data(), size);
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

// The initialisation record is read byte by byte at the offsets of its published layout, where
// the three text pointers are 4 bytes wide; a 64-bit caller widens each of them to 8 bytes, which
// moves every later field by 4 bytes per pointer before it.
class InitRecordReader {
 public:
  explicit InitRecordReader(const void* record)
      : bytes_(static_cast<const unsigned char*>(record)) {}
  unsigned u8(size_t offset) const { return bytes_[at(offset)]; }
  std::uint32_t u32(size_t offset) const {
    std::uint32_t v;
    std::memcpy(&v, bytes_ + at(offset), sizeof v);
    return v;
  }
  const char* text(size_t offset) const {
    const char* p;
    std::memcpy(&p, bytes_ + at(offset), sizeof p);
    return p;
  }

 private:
  static size_t at(size_t offset) {
    const size_t widening = sizeof(void*) - 4;
    size_t pointersBefore = 0;
    for (size_t pointerAt : {2u, 10u, 14u})
      if (offset > pointerAt) ++pointersBefore;
    return offset + widening * pointersBefore;
  }
  const unsigned char* bytes_;
};

// Names the first field of the record that is not as the token expects, or null.
const char* initRecordFault(const InitRecordReader& r, const Token& t) {
  const char* name = r.text(2);
  const char* fixed = r.text(10);
  const char* pin = r.text(14);
  if (r.u8(0) != static_cast<unsigned>(t.hwMajor)) return "0 hardware major";
  if (r.u8(1) != static_cast<unsigned>(t.hwMinor)) return "1 hardware minor";
  if (!name || std::strcmp(name, "Kessel Token") != 0) return "2 token name";
  if (r.u32(6) != 0) return "6";
  if (!fixed || std::strlen(fixed) != 6 || std::strspn(fixed, "abcdefghijklmnopqrstuvwxyz") != 6)
    return "10 fixed text";
  if (!pin || std::strcmp(pin, "731842") != 0) return "14 default user PIN";
  if (r.u8(18) != 0) return "18";
  if (r.u8(19) != 6) return "19";
  if (r.u8(20) != 6) return "20";
  if (r.u8(21) != 0) return "21";
  if (r.u32(22) != t.publicMemory) return "22 total public memory";
  if (r.u32(26) != t.privateMemory) return "26 total private memory";
  if (r.u32(30) != 0) return "30";
  if (r.u8(34) != 0) return "34";
  if (r.u32(35) != 0) return "35";
  if (r.u32(39) != 0x00020001) return "39";
  for (size_t i = 43; i < 51; ++i)
    if (r.u8(i) != 0) return "43 trailing zeros";
  return nullptr;
}

CK_RV auxInitToken(CK_SLOT_ID slot, orv::tokenctl::TokenInitRecord* record) {
  NEED_INIT();
  Token* t = tokenOf(slot);
  if (!t) return logged("aux initToken", slot, missingToken(slot));
  if (slotHasSessions(slot)) return logged("aux initToken", slot, CKR_SESSION_EXISTS);
  if (!record) return logged("aux initToken", slot, CKR_ARGUMENTS_BAD);
  const InitRecordReader r(record);
  if (const char* fault = initRecordFault(r, *t)) {
    logLine("aux initToken record field at %s is wrong", fault);
    return logged("aux initToken", slot, CKR_TEMPLATE_INCONSISTENT);
  }
  t->label = r.text(2);
  t->pin = r.text(14);
  t->attempts = kMaxAttempts;
  t->loggedIn = false;
  saveConfig();
  return logged("aux initToken", slot, CKR_OK);
}

CK_RV auxSetLabel(CK_SLOT_ID slot, CK_ULONG one, CK_ULONG zero1, CK_ULONG zero2,
                  const char* label) {
  NEED_INIT();
  Token* t = tokenOf(slot);
  if (!t) return logged("aux setLabel", slot, missingToken(slot));
  if (one != 1 || zero1 != 0 || zero2 != 0 || !label || std::strlen(label) > 32)
    return logged("aux setLabel", slot, CKR_ARGUMENTS_BAD);
  t->label = label;
  saveConfig();
  return logged("aux setLabel", slot, CKR_OK);
}

CK_RV auxReadPinRecord(CK_SLOT_ID slot, unsigned char* record) {
  NEED_INIT();
  Token* t = tokenOf(slot);
  if (!t) return logged("aux readPinRecord", slot, missingToken(slot));
  if (!record) return CKR_ARGUMENTS_BAD;
  if (!t->counterReadable) return logged("aux readPinRecord", slot, CKR_DEVICE_ERROR);
  // Byte 3 is the user PIN's attempts left; the other bytes hold the token's other counters and
  // flags, none of them equal to it, so a read at the wrong place gives a wrong number.
  const unsigned char others[orv::tokenctl::kPinRecordSize] = {0x0f, 0x0a, 0x09, 0x00,
                                                               0x0e, 0x5a, 0xc3, 0x01};
  std::memcpy(record, others, sizeof others);
  record[3] = static_cast<unsigned char>(t->attempts);
  return logged("aux readPinRecord", slot, CKR_OK);
}

CK_FUNCTION_LIST g_functions;
orv::tokenctl::AuxFunctionList g_aux;

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

extern "C" __declspec(dllexport) CK_RV E_GetAuxFunctionList(orv::tokenctl::AuxFunctionList** list) {
  if (!list) return CKR_ARGUMENTS_BAD;
  buildFunctionList();
  *list = &g_aux;
  return CKR_OK;
}
