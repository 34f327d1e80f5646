// Disk room claimed ahead of a file that is written from its start to its end.
#pragma once

#include <cstdint>

namespace tessara {

// Without a claim the file system reserves the room for each page as its bytes arrive, which
// is about a third of the system's work in writing a large new file; claimed in a few large
// steps, the pages find their blocks waiting. The room is claimed past the file's end without
// changing its size, so readers see only the bytes written, and is given back when the writing
// is done by setting the size the file has, which frees what lies past the end on ext4 and
// tmpfs (tested; a hole punched there frees nothing on ext4). A file system that kept it would
// hold at most 64 MB more with the file until the file is next cut or removed. A file of less
// than a megabyte is never claimed for. A system that refuses a claim is not asked again, and
// the writes go on as without it: a claim never fails a write. Linux only (fallocate); the
// Windows streams do not use it.
class TFileRoom {
public:
    // Before writing [From, End) of the open file Fd.
    void Claim(int fd, int64_t from, int64_t end) noexcept;
    // After the last write; Size is where the file's bytes end.
    void Release(int fd, int64_t size) noexcept;
    bool Holds() const noexcept { return Claimed > 0; }

private:
    int64_t Claimed = 0;  // the end of the room claimed so far
    bool Refused = false;
};

}  // namespace tessara
