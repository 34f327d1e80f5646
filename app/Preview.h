// The preview of a template that a list entry shows when the mouse rests on it.
#pragma once

#include <cstddef>
#include <string>

#include "app/Template.h"

namespace tessara {

inline constexpr size_t kPreviewLines = 8;        // module lines shown at most
inline constexpr size_t kPreviewLineLength = 60;  // characters of a line shown at most

// The module text's first lines (a longer line cut, and a last line of only an ellipsis when
// more follow), then the size of the controls data; empty when both are empty. Lines are
// joined with "\r\n"; tabs become four blanks.
std::string TemplatePreview(const TTemplateContent& content);

}  // namespace tessara
