#include "platform/Memory.h"

namespace tessara {

// Large pages on Windows need a privilege that a user's program does not have: nothing to ask.
void AdviseFill(void*, size_t) noexcept {}

}  // namespace tessara
