// What one measured run reports, and the clock and memory probe the runs share.
#pragma once

#include <cstdint>
#include <string>

namespace tessara::bench {

// One load, walk, save and destroy of one file by one library, in a process of its own.
struct TSample {
    // Seconds. Save is the library's own file save (ours replaces the file safely: a temporary
    // file, flushed to the disk, renamed over the old one); SavePlain writes the same text
    // into a file opened plainly, created or truncated, with no flush: what pugixml does.
    // SaveMemory renders the same text into one string in memory (our GetXml; pugixml's writer
    // appending to a string).
    double Load = 0, Walk = 0, Save = 0, SavePlain = 0, SaveMemory = 0, Destroy = 0;
    // Resident memory above the level before the load, at its highest: while loading, and
    // from the load up to the end of the save.
    uint64_t PeakLoad = 0, PeakSave = 0;
    uint64_t Walked = 0;  // bytes of names and texts the walk saw
    int RoundTrip = -1;   // 1: the saved file equals the input, 0: it differs, -1: not checked
    uint64_t RenderedBytes = 0;  // the size of the text rendered into memory
    char Error[256] = {};
};

// The input and output of one run.
struct TJob {
    std::string Input;
    std::string Output;
    std::string PlainOutput;
    bool CompareOutput = false;
};

// Resident set size and its high-water mark, from /proc/self/status, in bytes.
uint64_t ResidentBytes();
uint64_t PeakResidentBytes();
// Lowers the high-water mark to the current resident size.
void ResetPeakResident();

// What the runs time: the wall clock, or the CPU time of the process (user and system), which a
// busy machine disturbs less but which leaves out waiting for the disk.
enum class TClock { Wall, Cpu };
void UseClock(TClock clock);
double Now();

// Laps of the chosen clock, and the peak of resident memory above a baseline.
class TProbe {
public:
    // Resets the high-water mark, takes the baseline and starts the clock.
    void Start();
    // Seconds since Start or the previous Lap.
    double Lap();
    // Highest resident memory since Start, above the baseline.
    uint64_t PeakAboveBaseline() const;

private:
    double Last = 0;
    uint64_t Baseline = 0;
};

// True when the two files hold the same bytes.
bool SameFileContents(const std::string& a, const std::string& b);

TSample RunTessara(const TJob& job);
TSample RunPugixml(const TJob& job);

}  // namespace tessara::bench
