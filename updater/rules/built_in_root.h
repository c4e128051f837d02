#pragma once
// The trusted root the updater starts from when it has stored none: the root metadata of the
// release's repository, compiled in from the file the build names (ORV_TUF_ROOT), as the manifest
// key is.
#include <string>

namespace orv::updater {

const std::string& builtInRoot();

}  // namespace orv::updater
