#pragma once
// A stand-in for the update flow in the updater's test build, for tests of the dialog and the
// page bridge alone. When the program folder holds "flow_probe.txt", its lines run in order on a
// thread of their own once the page is loaded:
//   show <code>               the show operation
//   call <function> [<arg>]   the page-call message; "result <function> <value>" is logged
//   sleep <ms>
// Every line done and every answer from the page ("answer ConfirmUpdate", "answer
// ConfirmCloseIe false", ...) is appended to "flow.log" in the program folder.
#include <memory>

#include "update_flow_seam.h"

namespace orv::test {

// True when the program folder holds a probe script.
bool probeScriptPresent();
std::unique_ptr<updater::UpdateFlow> createProbeFlow();

}  // namespace orv::test
