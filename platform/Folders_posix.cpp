#include "platform/Folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tessara {

const char kPathSeparator = '/';

bool MakeFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0777) == 0) return true;
    struct stat info;
    return errno == EEXIST && ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<TFolderFile> FilesIn(const std::string& folder) {
    std::vector<TFolderFile> files;
    DIR* d = ::opendir(folder.c_str());
    if (d == nullptr) return files;
    while (const dirent* e = ::readdir(d)) {
        struct stat info;
        const std::string path = folder + kPathSeparator + e->d_name;
        if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            files.push_back({e->d_name, static_cast<int64_t>(info.st_size)});
    }
    ::closedir(d);
    return files;
}

bool LinkFile(const std::string& existing, const std::string& newName) {
    // A link to the file a symbolic link names, not to the symbolic link.
    return ::linkat(AT_FDCWD, existing.c_str(), AT_FDCWD, newName.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

}  // namespace tessara
