#include "explorer_core.h"

namespace orv::core {

orv::DragArea coreDragArea(int captionWidth, int captionHeight) {
  return orv::DragArea{{0, 0, captionWidth, captionHeight}, {{720, 0, 900, 27}}};
}

// The caption size comes from the configuration once it is loaded; until then nothing drags.
CExplorer_core::CExplorer_core() : BrowserWrapper(orv::coreKeyPolicy(), coreDragArea(0, 0)) {}

}  // namespace orv::core
