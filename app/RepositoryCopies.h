// Copies of the repository file kept beside it: the byte-for-byte copy of a file that could not
// be read in full, under a name that never replaces an earlier copy.
#pragma once

#include <string>

namespace tessara {

// The first of FileName + ".bad", ".bad1", ".bad2", ... that is not taken yet by a file, a
// directory or anything else.
std::string FreeBackupName(const std::string& fileName);

// Copies the file's bytes to CopyName, written as a save is: the copy appears complete or not
// at all. Raises the stream errors when it cannot.
void CopyRepositoryFile(const std::string& fileName, const std::string& copyName);

// Copies the file's bytes to FreeBackupName(FileName) and returns that name. The copy appears
// complete or not at all. Raises the stream errors (EFOpenError, EFCreateError, EReadError,
// EWriteError) when it cannot.
std::string BackupRepositoryFile(const std::string& fileName);

}  // namespace tessara
