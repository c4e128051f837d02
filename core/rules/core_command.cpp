#include "core_command.h"

namespace orv::core {

std::uint32_t corePipeMode(bool vistaOrLater) { return pipeCreationMode(vistaOrLater); }

}  // namespace orv::core
