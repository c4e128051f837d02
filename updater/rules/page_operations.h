#pragma once
// The operations the updater's page asks for through window.external.JsCallFunc (name,
// parameter): which names and parameters count, and what they ask for. Pure logic.
#include <string>

namespace orv::updater {

enum class PageOperation {
  kNone,                  // a name or parameter that is not listed: ignored
  kConfirmUpdate,         // "ConfirmUpdate" "true": the user agreed to update
  kConfirmRetry,          // "ConfirmRetry" "true": start a new attempt
  kConfirmRetryTooTimes,  // "ConfirmRetryTooTimes" "true"/"false"
  kConfirmCloseIe,        // "ConfirmCloseIe" "true"/"false"
  kCopyFile,              // "Copyfile" "source,target": the desktop copy
  kGetLangId,             // "GetLangID" identifier: the page gets "JSGetLangID" with LangID
};

struct PageRequest {
  PageOperation operation = PageOperation::kNone;
  bool yes = false;  // the answer of the two questions answered either way
};

// Names and parameters are compared exactly, letter case included.
PageRequest pageRequest(const std::wstring& name, const std::wstring& parameter);

}  // namespace orv::updater
