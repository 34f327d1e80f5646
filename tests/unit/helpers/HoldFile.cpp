// Holds a file open through TFileStream in a process of its own, for the share-mode tests.
//
//   HoldFile.exe read|write FILE READY_EVENT RELEASE_EVENT
//
// Opens FILE for reading (read) or creates it for writing (write), sets the named event
// READY_EVENT and keeps the file open until RELEASE_EVENT is set, at most 60 s. Exit status:
// 0 after a release, 2 when the file cannot be opened, 3 on a bad command line or a timeout.
#include <windows.h>

#include <cstring>
#include <memory>

#include "platform/Exceptions.h"
#include "platform/Streams.h"

int main(int argc, char** argv) {
    if (argc != 5) return 3;
    const bool write = std::strcmp(argv[1], "write") == 0;
    HANDLE ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
    HANDLE release = ::OpenEventA(SYNCHRONIZE, FALSE, argv[4]);
    if (!ready || !release) return 3;
    std::unique_ptr<tessara::TFileStream> held;
    try {
        held = std::make_unique<tessara::TFileStream>(
            argv[2], write ? tessara::TFileMode::CreateExclusive : tessara::TFileMode::OpenReadShareDenyWrite);
    } catch (const tessara::Exception&) {
        return 2;
    }
    ::SetEvent(ready);
    return ::WaitForSingleObject(release, 60000) == WAIT_OBJECT_0 ? 0 : 3;
}
