// The general exception class of the platform layer and the kinds the program names.
// Every failure in the system is one of these, carrying its message as Windows-1251 bytes.
#pragma once

#include <exception>
#include <string>

namespace tessara {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : Text(std::move(message)) {}
    const char* what() const noexcept override { return Text.c_str(); }
    // The message (not GetMessage: <windows.h> defines that name as a macro).
    const std::string& Message() const noexcept { return Text; }

private:
    std::string Text;
};

// "List index out of bounds (%d)"
class EListError : public Exception {
public:
    explicit EListError(long long index);
};

// "Invalid class typecast"
class EInvalidCast : public Exception {
public:
    EInvalidCast();
};

// "Cannot open file %s"
class EFOpenError : public Exception {
public:
    explicit EFOpenError(const std::string& fileName);
};

// "Cannot create file %s"
class EFCreateError : public Exception {
public:
    explicit EFCreateError(const std::string& fileName);
};

// "Stream read error"
class EReadError : public Exception {
public:
    EReadError();
};

// "Stream write error"
class EWriteError : public Exception {
public:
    EWriteError();
};

// "Cannot open clipboard"
class EClipboardException : public Exception {
public:
    EClipboardException();
};

}  // namespace tessara
