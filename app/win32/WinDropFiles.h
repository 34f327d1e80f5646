// Files dropped on the window: the names a drop handle carries, as 1251 bytes.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace tessara::win32 {

// The dropped files' names in their order; the handle is released (DragFinish).
std::vector<std::string> TakeDroppedFileNames(HDROP drop);

}  // namespace tessara::win32
