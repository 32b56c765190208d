// The frame hand-over's slot, alone in its file: the pixel routines link it
// without the rest of the platform.
#include "platform/frame.h"

UpdateHooks update_hooks = {nullptr, nullptr};
