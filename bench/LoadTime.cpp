// tessara_loadtime: the load of our library alone, built for Linux and for Windows, so that the
// Windows build under Wine and the native build can be timed on the same file in one run.
//
//   tessara_loadtime [--wall] FILE [RUNS]
//
// Prints, per run, the CPU seconds (or with --wall the wall-clock seconds) of the load, of the walk the program makes (every template's
// name and both texts) and of freeing the tree, then the best of each.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include "xml/XXmlDom.h"

using namespace tessara;

namespace {

// The process's CPU time (user and system), which a busy machine disturbs much less than the
// wall clock; --wall times the wall clock instead.
bool wallClock = false;

double Now() {
    if (wallClock)
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) * 1e-7;
#else
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--wall") {
        wallClock = true;
        --argc;
        ++argv;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: tessara_loadtime [--wall] FILE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    double bestLoad = 1e30, bestWalk = 1e30, bestFree = 1e30;
    try {
        for (int run = 0; run < runs; ++run) {
            double t = Now();
            TRef<TXmlDDocument> doc(new TXmlDDocument());
            doc->LoadFromFile(argv[1]);
            const double load = Now() - t;
            t = Now();
            size_t templates = 0, walked = 0;
            std::string copy;
            for (TXmlDNode* node = doc->DocumentElement()->FirstChild(); node != nullptr; node = node->NextSibling()) {
                if (node->NodeType() != ntElement) continue;
                ++templates;
                if (const TXmlDAttribute* name = static_cast<TXmlDElement*>(node)->GetAttributeNode("name"))
                    walked += name->Value.size();
                TXmlDNode* controls = node->FirstChild();
                if (controls == nullptr) continue;
                walked += TextOf(controls, copy).size();
                if (TXmlDNode* module = controls->NextSibling()) walked += TextOf(module, copy).size();
            }
            const double walk = Now() - t;
            t = Now();
            doc.Reset();
            const double free = Now() - t;
            std::printf("run %d: load %.3f s, walk %.3f s, free %.3f s (%zu templates, %zu bytes of text)\n", run + 1,
                        load, walk, free, templates, walked);
            bestLoad = std::min(bestLoad, load);
            bestWalk = std::min(bestWalk, walk);
            bestFree = std::min(bestFree, free);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessara_loadtime: %s\n", e.what());
        return 1;
    }
    std::printf("best: load %.3f s, walk %.3f s, free %.3f s\n", bestLoad, bestWalk, bestFree);
    return 0;
}
