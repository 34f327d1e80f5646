// Hints to the operating system about memory the program is about to fill.
#pragma once

#include <cstddef>

namespace tessara {

// Tells the system that [P, P + N) is about to be written from end to end, so that it can back
// the range with large pages where it has them: one page fault per large page instead of one
// per small page, which is most of the cost of filling a large fresh buffer. Only ranges of a
// few megabytes and more are worth it; a smaller one, or a system without the hint, is left as
// it is. Never fails: it is a hint.
void AdviseFill(void* p, size_t n) noexcept;

}  // namespace tessara
