#include "platform/Exceptions.h"

namespace tessara {

EListError::EListError(long long index)
    : Exception("List index out of bounds (" + std::to_string(index) + ")") {}

EInvalidCast::EInvalidCast() : Exception("Invalid class typecast") {}

EFOpenError::EFOpenError(const std::string& fileName) : Exception("Cannot open file " + fileName) {}

EFCreateError::EFCreateError(const std::string& fileName)
    : Exception("Cannot create file " + fileName) {}

EReadError::EReadError() : Exception("Stream read error") {}

EWriteError::EWriteError() : Exception("Stream write error") {}

EClipboardException::EClipboardException() : Exception("Cannot open clipboard") {}

}  // namespace tessara
