#pragma once
// The live check's GET over libcurl (the native build): redirects followed as the updater
// follows them, the body hashed as it arrives, never stored.
#include "live_check.h"

namespace orv::manifest_tool {

FetchedFile fetchOverCurl(const std::string& url);

}  // namespace orv::manifest_tool
