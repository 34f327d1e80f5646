// tessara_bench: our XML library against pugixml on generated repository files.
//
//   tessara_bench [--sizes 1000,10000,100000] [--runs N] [--cpu] [--dir DIR] [--keep] [--generate-only]
//   tessara_bench --find [--sizes 100000] [--runs N] [--dir DIR] [--keep]
//   tessara_bench --lexer [--runs N]
//   tessara_bench --undo [--sizes 100000] [--runs N]
//
// --find measures the find window's keystroke (search and the visible rows' text, CPU time)
// on each size instead of the libraries. --lexer measures the module editor's colouring of a
// generated module text of about 1 MB, whole and at a keystroke (CPU time), and nothing else.
//
// Every measured run happens in a fresh child process, so that each starts from the same
// clean heap and its peak memory is its own; the two libraries alternate run by run.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/Find.h"
#include "bench/Generator.h"
#include "bench/Measure.h"

namespace tessara::bench {
// In Lexer.cpp: prints one table; returns 1 when colouring the whole text missed its target.
int RunLexerBenchmark(int runs);
// In Undo.cpp: the delete of a template with its save, against its undo and redo.
int RunUndoBenchmark(const std::string& input, const std::string& output, int runs);
}  // namespace tessara::bench

using namespace tessara::bench;

namespace {

struct TOptions {
    std::vector<uint64_t> Sizes{1000, 10000, 100000};
    int Runs = 0;  // 0: 5 for small files, 3 for the largest ones
    std::string Dir;
    bool Keep = false;
    bool Cpu = false;
    bool GenerateOnly = false;  // write the files, print their paths and sizes, measure nothing
    bool Find = false;          // the find window's keystroke instead of the libraries
    bool Undo = false;          // undo and redo of a delete instead of the libraries
    bool Lexer = false;         // the module editor's colouring instead of the libraries
};

[[noreturn]] void Usage() {
    std::fprintf(stderr, "usage: tessara_bench [--sizes 1000,10000,100000] [--runs N] [--cpu] [--dir DIR] [--keep] [--generate-only]\n"
                         "       tessara_bench --find [--sizes 100000] [--runs N] [--dir DIR] [--keep]\n"
                         "       tessara_bench --lexer [--runs N]\n"
                         "       tessara_bench --undo [--sizes 100000] [--runs N]\n");
    std::exit(2);
}

TOptions ParseOptions(int argc, char** argv) {
    TOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--sizes" && hasValue) {
            o.Sizes.clear();
            std::string list = argv[++i];
            size_t pos = 0;
            while (pos <= list.size()) {
                const size_t comma = std::min(list.find(',', pos), list.size());
                const std::string item = list.substr(pos, comma - pos);
                if (item.empty() || item.find_first_not_of("0123456789") != std::string::npos) Usage();
                o.Sizes.push_back(std::stoull(item));
                pos = comma + 1;
            }
        } else if (a == "--runs" && hasValue) {
            o.Runs = std::atoi(argv[++i]);
            if (o.Runs < 1) Usage();
        } else if (a == "--dir" && hasValue) {
            o.Dir = argv[++i];
        } else if (a == "--cpu") {
            o.Cpu = true;
        } else if (a == "--keep") {
            o.Keep = true;
        } else if (a == "--find") {
            o.Find = true;
        } else if (a == "--undo") {
            o.Undo = true;
        } else if (a == "--lexer") {
            o.Lexer = true;
        } else if (a == "--generate-only") {
            o.GenerateOnly = true;
            o.Keep = true;
        } else {
            Usage();
        }
    }
    return o;
}

// Runs fn in a child process and returns what it reports through a pipe.
template <class T, class Fn>
T InChild(Fn fn) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::close(fds[0]);
        T result{};
        try {
            result = fn();
        } catch (const std::exception& e) {
            result = T{};
            std::snprintf(result.Error, sizeof result.Error, "%s", e.what());
        }
        const char* p = reinterpret_cast<const char*>(&result);
        size_t left = sizeof result;
        while (left > 0) {
            const ssize_t n = ::write(fds[1], p, left);
            if (n <= 0) break;
            p += n;
            left -= static_cast<size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    T result{};
    char* p = reinterpret_cast<char*>(&result);
    size_t got = 0;
    while (got < sizeof result) {
        const ssize_t n = ::read(fds[0], p + got, sizeof result - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (got != sizeof result) {
        result = T{};
        std::snprintf(result.Error, sizeof result.Error, "child died (status %d)", status);
    }
    return result;
}

// What the machine does with the same bytes at best: the floors under load and save.
struct TFloors {
    double Read = 0, Memchr = 0, Memcpy = 0, Write = 0, WriteSync = 0;
    char Error[256] = {};
};


// Best of three: the floors are the fastest this machine moves these bytes.
template <class Fn>
double BestOfThree(Fn fn) {
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        const double t = Now();
        fn();
        best = std::min(best, Now() - t);
    }
    return best;
}

void WriteFile(const std::string& path, const char* data, size_t n, bool sync) {
    const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    size_t written = 0;
    while (out >= 0 && written < n) {
        const ssize_t w = ::write(out, data + written, n - written);
        if (w <= 0) break;
        written += static_cast<size_t>(w);
    }
    if (out >= 0) {
        if (sync) ::fsync(out);
        ::close(out);
    }
    if (written != n) throw std::runtime_error("write floor: short write");
}

TFloors MeasureFloors(const std::string& input, const std::string& output, uint64_t bytes) {
    TFloors f;
    const size_t n = static_cast<size_t>(bytes);
    // Both buffers touched beforehand: the floors measure moving bytes, not page faults.
    char* a = static_cast<char*>(::mmap(nullptr, n + 1, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    char* b = static_cast<char*>(::mmap(nullptr, n + 1, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (a == MAP_FAILED || b == MAP_FAILED) throw std::runtime_error("mmap failed");
    std::memset(a, 1, n + 1);
    std::memset(b, 1, n + 1);

    f.Read = BestOfThree([&] {
        const int in = ::open(input.c_str(), O_RDONLY);
        size_t done = 0;
        while (in >= 0 && done < n) {
            const ssize_t r = ::read(in, a + done, n - done);
            if (r <= 0) break;
            done += static_cast<size_t>(r);
        }
        if (in >= 0) ::close(in);
        if (done != n) throw std::runtime_error("read floor: short read");
    });
    // A byte the file never holds, so the scan runs to the end.
    f.Memchr = BestOfThree([&] {
        const void* volatile hit = std::memchr(a, 0, n);
        (void)hit;
    });
    f.Memcpy = BestOfThree([&] { std::memcpy(b, a, n); });
    f.Write = BestOfThree([&] { WriteFile(output, b, n, false); });
    f.WriteSync = BestOfThree([&] { WriteFile(output, b, n, true); });
    ::munmap(a, n + 1);
    ::munmap(b, n + 1);
    return f;
}

struct TStats {
    double Best = 0, Median = 0;
};

TStats Summarise(std::vector<double> values) {
    TStats s;
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    s.Best = values.front();
    s.Median = values[values.size() / 2];
    return s;
}

struct TLibraryResult {
    std::vector<TSample> Samples;
    TStats Phase(double TSample::*field) const {
        std::vector<double> v;
        for (const TSample& s : Samples) v.push_back(s.*field);
        return Summarise(v);
    }
    TStats Memory(uint64_t TSample::*field, uint64_t fileBytes) const {
        std::vector<double> v;
        for (const TSample& s : Samples) v.push_back(static_cast<double>(s.*field) / static_cast<double>(fileBytes));
        return Summarise(v);
    }
};

struct TSizeResult {
    uint64_t Templates = 0;
    TGeneratedFile File;
    TFloors Floors;
    TLibraryResult Pugi, Ours;
    std::vector<std::string> Problems;
};

double Mb(uint64_t bytes) { return static_cast<double>(bytes) / 1e6; }

void PrintRule() {
    std::printf("-------------------------------------------------------------------------------------------------\n");
}

void PrintHeader(bool cpu) {
    std::printf("times: %s\n", cpu ? "CPU time of the process (user + system; no waiting for the disk)"
                                    : "wall clock");
    PrintRule();
    std::printf("%-9s %-14s | %-27s | %-27s | %s\n", "templates", "phase", "pugixml", "tessara", "tessara vs");
    std::printf("%-9s %-14s | %8s %8s %9s | %8s %8s %9s | %s\n", "", "", "best s", "median s", "MB/s",
                "best s", "median s", "MB/s", "pugixml");
    PrintRule();
}

void PrintFloor(const TSizeResult& r, const char* name, double seconds) {
    std::printf("%-9s %-14s | %8.3f %8s %9.0f | %8s %8s %9s |\n", "", name, seconds, "", Mb(r.File.Bytes) / seconds,
                "", "", "");
}

void PrintSize(const TSizeResult& r) {
    const double mb = Mb(r.File.Bytes);
    char label[64];
    std::snprintf(label, sizeof label, "%llu", static_cast<unsigned long long>(r.Templates));
    std::printf("%-9s %-14s | file %.1f MB, %zu runs\n", label, "", mb, r.Ours.Samples.size());
    struct {
        const char* Name;
        double TSample::*Field;
    } phases[] = {{"load", &TSample::Load}, {"walk", &TSample::Walk}, {"save", &TSample::Save},
                  {"save, plain", &TSample::SavePlain}, {"save, memory", &TSample::SaveMemory},
                  {"destroy", &TSample::Destroy}};
    for (const auto& p : phases) {
        const TStats a = r.Pugi.Phase(p.Field);
        const TStats b = r.Ours.Phase(p.Field);
        // Speed against pugixml: above 1 means we are faster.
        std::printf("%-9s %-14s | %8.3f %8.3f %9.0f | %8.3f %8.3f %9.0f | %6.2fx faster\n", "", p.Name, a.Best,
                    a.Median, mb / a.Best, b.Best, b.Median, mb / b.Best, a.Best / b.Best);
    }
    struct {
        const char* Name;
        uint64_t TSample::*Field;
    } peaks[] = {{"peak mem load", &TSample::PeakLoad}, {"peak mem save", &TSample::PeakSave}};
    for (const auto& p : peaks) {
        const TStats a = r.Pugi.Memory(p.Field, r.File.Bytes);
        const TStats b = r.Ours.Memory(p.Field, r.File.Bytes);
        std::printf("%-9s %-14s | %7.2fx %7.2fx %9s | %7.2fx %7.2fx %9s | %6.2fx the memory\n", "", p.Name, a.Best,
                    a.Median, "of file", b.Best, b.Median, "of file", b.Best / a.Best);
    }
    PrintFloor(r, "floor read", r.Floors.Read);
    PrintFloor(r, "floor memchr", r.Floors.Memchr);
    PrintFloor(r, "floor memcpy", r.Floors.Memcpy);
    PrintFloor(r, "floor write", r.Floors.Write);
    PrintFloor(r, "floor wr+fsync", r.Floors.WriteSync);
    for (const std::string& p : r.Problems) std::printf("%-9s %-14s | PROBLEM: %s\n", "", "", p.c_str());
    PrintRule();
}

// Phase times of the larger file against ten times (or the size ratio of) the smaller.
void PrintLinearity(const TSizeResult& small, const TSizeResult& large) {
    const double scale = static_cast<double>(large.File.Bytes) / static_cast<double>(small.File.Bytes);
    std::printf("linearity %llu -> %llu templates (best time / (%.2f x best time); 1.00 is linear):\n",
                static_cast<unsigned long long>(small.Templates), static_cast<unsigned long long>(large.Templates),
                scale);
    struct {
        const char* Name;
        double TSample::*Field;
    } phases[] = {{"load", &TSample::Load}, {"walk", &TSample::Walk}, {"save", &TSample::Save},
                  {"save, plain", &TSample::SavePlain}, {"save, memory", &TSample::SaveMemory},
                  {"destroy", &TSample::Destroy}};
    for (const auto& p : phases)
        std::printf("  %-12s pugixml %5.2f   tessara %5.2f\n", p.Name,
                    large.Pugi.Phase(p.Field).Best / (scale * small.Pugi.Phase(p.Field).Best),
                    large.Ours.Phase(p.Field).Best / (scale * small.Ours.Phase(p.Field).Best));
}

void PrintTargets(const TSizeResult& r, const TSizeResult* tenth) {
    std::printf("targets at %llu templates (same run):\n", static_cast<unsigned long long>(r.Templates));
    auto line = [](const char* what, double value, const char* op, double limit) {
        const bool ok = op[0] == '>' ? value >= limit : value <= limit;
        std::printf("  %-40s %7.3f %s %.2f  %s\n", what, value, op, limit, ok ? "met" : "NOT MET");
    };
    line("load speed vs pugixml (x)", r.Pugi.Phase(&TSample::Load).Best / r.Ours.Phase(&TSample::Load).Best, ">=", 1.2);
    line("save speed vs pugixml (x)", r.Pugi.Phase(&TSample::Save).Best / r.Ours.Phase(&TSample::Save).Best, ">=", 1.5);
    line("save, plain speed vs pugixml (x)", r.Pugi.Phase(&TSample::SavePlain).Best / r.Ours.Phase(&TSample::SavePlain).Best,
         ">=", 1.5);
    line("save, memory speed vs pugixml (x)",
         r.Pugi.Phase(&TSample::SaveMemory).Best / r.Ours.Phase(&TSample::SaveMemory).Best, ">=", 1.5);
    line("walk speed vs pugixml (x)", r.Pugi.Phase(&TSample::Walk).Best / r.Ours.Phase(&TSample::Walk).Best, ">=", 1.0);
    line("peak memory after load (x file)", r.Ours.Memory(&TSample::PeakLoad, r.File.Bytes).Best, "<=", 1.0);
    line("peak memory after save (x file)", r.Ours.Memory(&TSample::PeakSave, r.File.Bytes).Best, "<=", 2.0);
    line("destroy (s)", r.Ours.Phase(&TSample::Destroy).Best, "<=", 0.15);
    if (tenth != nullptr) {
        const double scale = static_cast<double>(r.File.Bytes) / static_cast<double>(tenth->File.Bytes);
        struct {
            const char* Name;
            double TSample::*Field;
        } phases[] = {{"linearity load", &TSample::Load}, {"linearity walk", &TSample::Walk},
                      {"linearity save", &TSample::Save}, {"linearity destroy", &TSample::Destroy}};
        for (const auto& p : phases)
            line(p.Name, r.Ours.Phase(p.Field).Best / (scale * tenth->Ours.Phase(p.Field).Best), "<=", 1.2);
    }
}

// Between runs, outside the timing: what a run wrote goes to the disk, so that no run pays for
// the dirty pages of the one before it. The files stay: each save replaces an existing file, as
// the program's does.
void Settle(std::initializer_list<std::string> files) {
    for (const std::string& f : files) {
        const int fd = ::open(f.c_str(), O_RDONLY);
        if (fd < 0) continue;
        ::fsync(fd);
        ::close(fd);
    }
}

void AddProblem(TSizeResult& r, const std::string& problem) {
    if (std::find(r.Problems.begin(), r.Problems.end(), problem) == r.Problems.end()) r.Problems.push_back(problem);
}

// The walk must see every byte the generator wrote into the names and texts (pugixml's default
// parse turns CRLF into LF, so it sees the carriage returns less).
void CheckSample(TSizeResult& r, const char* library, const TSample& s, uint64_t expectedWalk) {
    if (s.Error[0] != 0) AddProblem(r, std::string(library) + ": " + s.Error);
    else if (s.Walked != expectedWalk)
        AddProblem(r, std::string(library) + ": the walk saw " + std::to_string(s.Walked) + " bytes of " +
                          std::to_string(expectedWalk));
    if (s.RoundTrip == 0) AddProblem(r, std::string(library) + ": the saved file differs from the input");
    if (s.Error[0] == 0 && s.RenderedBytes == 0) AddProblem(r, std::string(library) + ": nothing rendered into memory");
}

}  // namespace

int main(int argc, char** argv) {
    TOptions options = ParseOptions(argc, argv);
    if (options.Lexer) {
        UseClock(TClock::Cpu);
        return RunLexerBenchmark(options.Runs != 0 ? options.Runs : 20);
    }
    bool sizesGiven = false;
    for (int i = 1; i < argc; ++i) sizesGiven |= std::string(argv[i]) == "--sizes";
    if ((options.Find || options.Undo) && !sizesGiven) options.Sizes = {100000};
    // A keystroke's cost is CPU: the find rows always time it.
    UseClock(options.Cpu || options.Find || options.Undo ? TClock::Cpu : TClock::Wall);
    std::string dir = options.Dir;
    if (dir.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/tessara_bench.XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back(0);
        if (::mkdtemp(buf.data()) == nullptr) {
            std::perror("mkdtemp");
            return 1;
        }
        dir = buf.data();
    } else {
        ::mkdir(dir.c_str(), 0755);
    }

    std::vector<TSizeResult> results;
    int status = 0;
    for (const uint64_t templates : options.Sizes) {
        TSizeResult r;
        r.Templates = templates;
        const std::string input = dir + "/repository_" + std::to_string(templates) + ".xml";
        const std::string output = dir + "/saved_" + std::to_string(templates) + ".xml";
        const std::string plainOutput = dir + "/plain_" + std::to_string(templates) + ".xml";
        std::fprintf(stderr, "generating %llu templates...\n", static_cast<unsigned long long>(templates));
        try {
            r.File = GenerateRepository(input, templates);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "generation failed: %s\n", e.what());
            return 1;
        }
        if (options.Undo) {
            if (RunUndoBenchmark(input, output, options.Runs != 0 ? options.Runs : 5) != 0) status = 1;
            if (!options.Keep) std::remove(input.c_str());
            continue;
        }
        if (options.Find) {
            if (RunFindBenchmark(input, options.Runs != 0 ? options.Runs : 5) != 0) status = 1;
            if (!options.Keep) std::remove(input.c_str());
            continue;
        }
        if (options.GenerateOnly) {
            std::printf("%s %llu %llu\n", input.c_str(), static_cast<unsigned long long>(r.File.Templates),
                        static_cast<unsigned long long>(r.File.Bytes));
            continue;
        }
        const int runs = options.Runs != 0 ? options.Runs : (r.File.Bytes > 200000000 ? 3 : 5);
        r.Floors = InChild<TFloors>([&] { return MeasureFloors(input, output, r.File.Bytes); });
        if (r.Floors.Error[0] != 0) r.Problems.push_back(std::string("floors: ") + r.Floors.Error);
        for (int run = 0; run < runs; ++run) {
            std::fprintf(stderr, "  run %d/%d\n", run + 1, runs);
            const TJob job{input, output, plainOutput, run == 0};
            const TSample p = InChild<TSample>([&] { return RunPugixml(job); });
            Settle({output, plainOutput});
            CheckSample(r, "pugixml", p, r.File.TextBytes - r.File.CarriageReturns);
            r.Pugi.Samples.push_back(p);
            const TSample o = InChild<TSample>([&] { return RunTessara(job); });
            CheckSample(r, "tessara", o, r.File.TextBytes);
            if (o.Error[0] == 0 && o.RenderedBytes != r.File.Bytes)
                AddProblem(r, "tessara: GetXml gave " + std::to_string(o.RenderedBytes) + " bytes, not the file's " +
                                  std::to_string(r.File.Bytes));
            Settle({output, plainOutput});
            r.Ours.Samples.push_back(o);
        }
        if (!r.Problems.empty()) status = 1;
        if (!options.Keep) {
            std::remove(input.c_str());
            std::remove(output.c_str());
            std::remove(plainOutput.c_str());
        }
        results.push_back(std::move(r));
    }
    if (!options.Keep) ::rmdir(dir.c_str());
    if (options.GenerateOnly) return 0;
    if (options.Find || options.Undo) return status;

    PrintHeader(options.Cpu);
    for (const TSizeResult& r : results) PrintSize(r);
    for (size_t i = 1; i < results.size(); ++i) PrintLinearity(results[i - 1], results[i]);
    if (!results.empty()) {
        const TSizeResult& last = results.back();
        const TSizeResult* tenth = nullptr;
        for (const TSizeResult& r : results)
            if (r.Templates * 10 == last.Templates) tenth = &r;
        PrintTargets(last, tenth);
    }
    return status;
}
