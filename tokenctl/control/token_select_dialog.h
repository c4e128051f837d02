#pragma once
// The token selection dialog (resource 202): lists the tokens of the map and lets the user pick
// one. Its result is the slot of the row selected last, whether the dialog ends by OK or Cancel.
#include <windows.h>

#include <optional>

#include "token_access.h"

namespace orv::tokenctl {

// Runs the dialog modally (no owner). Empty when no row was ever selected.
std::optional<CK_SLOT_ID> selectToken(HINSTANCE module, const TokenMap& tokens);

}  // namespace orv::tokenctl
