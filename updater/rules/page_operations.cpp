#include "page_operations.h"

namespace orv::updater {

PageRequest pageRequest(const std::wstring& name, const std::wstring& parameter) {
  PageRequest request;
  const bool isTrue = parameter == L"true";
  const bool isFalse = parameter == L"false";
  if (name == L"ConfirmUpdate" && isTrue) {
    request.operation = PageOperation::kConfirmUpdate;
  } else if (name == L"ConfirmRetry" && isTrue) {
    request.operation = PageOperation::kConfirmRetry;
  } else if (name == L"ConfirmRetryTooTimes" && (isTrue || isFalse)) {
    request.operation = PageOperation::kConfirmRetryTooTimes;
  } else if (name == L"ConfirmCloseIe" && (isTrue || isFalse)) {
    request.operation = PageOperation::kConfirmCloseIe;
  } else if (name == L"Copyfile") {
    request.operation = PageOperation::kCopyFile;  // the desktop copy reads the parameter itself
  } else if (name == L"GetLangID") {
    request.operation = PageOperation::kGetLangId;
  }
  request.yes = request.operation != PageOperation::kNone && isTrue;
  return request;
}

}  // namespace orv::updater
