#pragma once
// Stand-ins for the parts of the shipped updater that are built elsewhere: the update flow and
// the desktop copy. The shipped program links these until the real parts replace them; they do
// nothing, so the program starts, loads its page and waits for the user to close it.
#include "update_flow_seam.h"

namespace orv::updater {

std::unique_ptr<UpdateFlow> createIdleUpdateFlow();
std::unique_ptr<DesktopCopy> createIdleDesktopCopy();

}  // namespace orv::updater
