#pragma once
// The token access layer: the middleware library, the map of present tokens and the PKCS#11
// call sequence behind each method of the control. All texts are narrow (ANSI code page).
// The control's log (log_file.h) gets the middleware's load and its failure, the slots found
// and the PIN operations' outcomes: never a PIN, a label or a certificate's content; the load
// and the slots only when they change, so a page that polls does not fill it.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "aux_function_list.h"
#include "cert_field.h"
#include "pkcs11_session.h"
#include "pkcs11_win.h"
#include "scoped_handle.h"

namespace orv::tokenctl {

struct TokenEntry {
  CK_SLOT_ID slot = 0;
  std::string label;   // at most 32 characters, trailing blanks removed
  std::string serial;  // at most 16 characters, trailing blanks removed
};

// Keyed by serial number; a later slot with the same serial replaces the earlier entry.
using TokenMap = std::map<std::string, TokenEntry>;

// lRet of an operation and whether it did its work (S_OK) or failed (S_FALSE).
struct TokenResult {
  long lRet;
  bool ok;
};

class TokenAccess {
 public:
  static constexpr int kLoadOk = 0;
  static constexpr int kLoadFailed = 6;

  TokenAccess() = default;
  // Finalises the middleware when this is the last live control that loaded it; unloads it.
  ~TokenAccess();
  TokenAccess(const TokenAccess&) = delete;
  TokenAccess& operator=(const TokenAccess&) = delete;

  // Loads "Sarnovi_XT.dll" by bare name, fetches both function lists and initialises the
  // middleware: kLoadOk or kLoadFailed.
  int load();
  // The load made when the control is created: on success it also sets the ready flag.
  int loadAtConstruction();
  bool ready() const { return ready_; }

  // Rebuilds the token map from the slots holding a token. False when the middleware is not
  // loaded, the slot list cannot be read or no slot holds a token.
  bool enumerate();
  const TokenMap& tokens() const { return tokens_; }
  const TokenEntry* findBySlot(CK_SLOT_ID slot) const;

  TokenResult verifyPin(CK_SLOT_ID slot, const std::string& pin);
  TokenResult changePin(CK_SLOT_ID slot, const std::string& oldPin, const std::string& newPin);
  TokenResult logoutAll();
  long rename(CK_SLOT_ID slot, const std::string& newName);
  TokenResult initialise(CK_SLOT_ID slot);
  // Empty on any failure.
  std::string certificateField(CK_SLOT_ID slot, CertField field);

 private:
  void unload();
  int loadFailed(const std::wstring& why);
  void fillTokens(const std::vector<CK_SLOT_ID>& slots);
  // Writes the line unless it is the one `last` holds.
  static void logOnChange(std::wstring& last, const std::wstring& code, const std::wstring& text);
  CK_RV openSession(CK_SLOT_ID slot, Pkcs11Session& session);
  // Opens a session and logs the user in; on a refused PIN the session is closed again.
  // `session` holds the session only when the login was accepted.
  TokenResult login(CK_SLOT_ID slot, const std::string& pin, Pkcs11Session& session);

  ScopedLibrary library_;
  CK_FUNCTION_LIST_PTR functions_ = nullptr;
  AuxFunctionList* aux_ = nullptr;
  bool ready_ = false;
  // A load succeeded: this control counts among the middleware's holders until it goes.
  bool holdsMiddleware_ = false;
  TokenMap tokens_;
  std::wstring lastLoadLine_;
  std::wstring lastTokensLine_;
};

}  // namespace orv::tokenctl
