#pragma once
// The real parts the shipped updater hands its application object: the update flow for the
// update server the program was built for, and the desktop copy.
#include "update_flow_seam.h"

namespace orv::updater {

std::unique_ptr<UpdateFlow> createShippedUpdateFlow();
std::unique_ptr<DesktopCopy> createDesktopCopy();

}  // namespace orv::updater
