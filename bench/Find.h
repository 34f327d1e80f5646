// The find window's keystroke on a generated repository: the search as typed and the text
// work of drawing the rows that then show.
#pragma once

#include <string>

namespace tessara::bench {

// Loads the file, builds the find index and types the searches; prints one table. Returns
// 1 when a keystroke took longer than the target (or the file could not be read), else 0.
int RunFindBenchmark(const std::string& input, int runs);

}  // namespace tessara::bench
