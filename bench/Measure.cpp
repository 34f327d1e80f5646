#include "bench/Measure.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace tessara::bench {

namespace {

uint64_t StatusField(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr) return 0;
    char line[256];
    uint64_t kb = 0;
    const size_t len = std::strlen(field);
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::strncmp(line, field, len) == 0) {
            kb = std::strtoull(line + len, nullptr, 10);
            break;
        }
    }
    std::fclose(f);
    return kb * 1024;
}

}  // namespace

uint64_t ResidentBytes() { return StatusField("VmRSS:"); }
uint64_t PeakResidentBytes() { return StatusField("VmHWM:"); }

void ResetPeakResident() {
    const int fd = ::open("/proc/self/clear_refs", O_WRONLY);
    if (fd < 0) return;
    if (::write(fd, "5", 1) != 1) {
        // Without the reset the mark starts at the fork, which only overstates the peak.
    }
    ::close(fd);
}

namespace {
TClock chosenClock = TClock::Wall;
}

void UseClock(TClock clock) { chosenClock = clock; }

double Now() {
    timespec t{};
    ::clock_gettime(chosenClock == TClock::Wall ? CLOCK_MONOTONIC : CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void TProbe::Start() {
    ResetPeakResident();
    Baseline = ResidentBytes();
    Last = Now();
}

double TProbe::Lap() {
    const double now = Now();
    const double seconds = now - Last;
    Last = now;
    return seconds;
}

uint64_t TProbe::PeakAboveBaseline() const {
    const uint64_t peak = PeakResidentBytes();
    return peak > Baseline ? peak - Baseline : 0;
}

bool SameFileContents(const std::string& a, const std::string& b) {
    FILE* fa = std::fopen(a.c_str(), "rb");
    FILE* fb = std::fopen(b.c_str(), "rb");
    bool same = fa != nullptr && fb != nullptr;
    std::vector<char> ba(1 << 20), bb(1 << 20);
    while (same) {
        const size_t na = std::fread(ba.data(), 1, ba.size(), fa);
        const size_t nb = std::fread(bb.data(), 1, bb.size(), fb);
        if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0) same = false;
        if (na < ba.size()) break;
    }
    if (fa != nullptr) std::fclose(fa);
    if (fb != nullptr) std::fclose(fb);
    return same;
}

}  // namespace tessara::bench
