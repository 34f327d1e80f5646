#include "platform/Streams.h"

#include <algorithm>
#include <cstring>

#include "platform/Exceptions.h"

namespace tessara {

void TStream::ReadBuffer(void* buffer, size_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, size_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
    const size_t n = Pos < Bytes.size() ? std::min(count, Bytes.size() - Pos) : 0;
    if (n != 0) std::memcpy(buffer, Bytes.data() + Pos, n);
    Pos += n;
    return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0) return 0;
    if (Pos > Bytes.size()) Bytes.resize(Pos);
    if (Pos == Bytes.size())
        Bytes.append(static_cast<const char*>(buffer), count);
    else
        Bytes.replace(Pos, std::min(count, Bytes.size() - Pos), static_cast<const char*>(buffer),
                      count);
    Pos += count;
    return count;
}

void TMemoryStream::Seek(int64_t position) { Pos = position < 0 ? 0 : static_cast<size_t>(position); }

}  // namespace tessara
