// Folders and the files in them, for the copies the program keeps beside the repository file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessara {

// The separator the system writes between a folder and a name in it.
extern const char kPathSeparator;

// Makes the folder when it is not there; true when it exists afterwards.
bool MakeFolder(const std::string& folder);

struct TFolderFile {
    std::string Name;  // without the folder
    int64_t Size = 0;
};
// The files (not folders) in a folder, in no particular order; none when it cannot be listed.
std::vector<TFolderFile> FilesIn(const std::string& folder);

// Gives an existing file a second name (a hard link): both names then show the same bytes
// until one of them is replaced by another file. The safe save replaces by renaming (ReplaceFileW
// renames too, and only copies the old file's attributes to the new one), so a link made before
// it keeps the old bytes. False when the file system cannot (FAT, some network shares).
bool LinkFile(const std::string& existing, const std::string& newName);

}  // namespace tessara
