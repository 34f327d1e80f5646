// While one lives, every file that a save or a backup tries to create fails, as on a full or
// read-only disk.
#pragma once

#include "platform/SafeFile.h"

namespace tessara::fakes {

class CreateFails {
public:
    CreateFails() {
        SetSafeFileFaultHook([](TSafeFileStep step) { return step == TSafeFileStep::Create; });
    }
    ~CreateFails() { SetSafeFileFaultHook(nullptr); }
    CreateFails(const CreateFails&) = delete;
    CreateFails& operator=(const CreateFails&) = delete;
};

}  // namespace tessara::fakes
