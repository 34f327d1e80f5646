#include "platform/Folders.h"

#include <windows.h>

#include "platform/Charset.h"
#include "platform/SafeFile.h"

namespace tessara {

const char kPathSeparator = '\\';

bool MakeFolder(const std::string& folder) {
    const std::wstring name = Cp1251ToWide(folder);
    if (::CreateDirectoryW(name.c_str(), nullptr)) return true;
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<TFolderFile> FilesIn(const std::string& folder) {
    std::vector<TFolderFile> files;
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(Cp1251ToWide(folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        const int64_t size = (static_cast<int64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        files.push_back({WideToCp1251(found.cFileName), size});
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return files;
}

bool LinkFile(const std::string& existing, const std::string& newName) {
    // A link to the file a symbolic link names, not to the symbolic link.
    return ::CreateHardLinkW(Cp1251ToWide(newName).c_str(), Cp1251ToWide(FinalPath(existing)).c_str(), nullptr) != 0;
}

}  // namespace tessara
