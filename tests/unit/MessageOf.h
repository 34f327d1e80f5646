// The message of the error a call raises, for tests that check texts byte for byte.
#pragma once

#include <functional>
#include <string>

#include "platform/Exceptions.h"

// Runs F and returns the message it raised ("" when it raised nothing).
inline std::string MessageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const tessara::Exception& e) {
        return e.Message();
    }
    return "";
}
