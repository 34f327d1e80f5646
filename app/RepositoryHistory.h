// The repository's history across runs: dated copies of the file in a folder beside it, one made
// before the first save of each run and of each day, the oldest let go past a bound. Dropped on
// the main window, a copy gives back the templates it holds (the taking-in of dropped files).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/Placeholders.h"

namespace tessara {

struct THistoryBounds {
    size_t Copies = 50;
    int Days = 30;
    int64_t Bytes = int64_t{256} << 20;
};

struct THistoryCopy {
    std::string Name;  // without the folder
    int64_t Size = 0;
    int64_t Day = 0;   // DayNumber of the time in its name
};

// The folder beside the repository file: its name without the extension + ".history".
std::string HistoryFolder(const std::string& repositoryFile, char separator);
// The copy made at At: the folder, then the file's name with the date and time before the
// extension, "1CDialogControls 2026-12-10 09-15-00.xml"; names sort as the copies' times do.
// A second copy of the same second (Taken: the copies there) is "..._2.xml", up to "_9".
std::string HistoryCopyName(const std::string& repositoryFile, char separator, const TDateTime& at,
                            const std::vector<THistoryCopy>& taken = {});
// The local date and time now.
TDateTime LocalNow();
// The day of a moment, as a count that grows by one a day (for "is it still today").
int64_t DayNumber(const TDateTime& at);

// The history copies among a folder's files (names and sizes), oldest first; other files are
// passed over.
std::vector<THistoryCopy> HistoryCopies(const std::string& repositoryFile,
                                        const std::vector<std::pair<std::string, int64_t>>& files);
// Which copies go (oldest first) so that at most Bounds.Copies stay, none older than
// Bounds.Days, Bounds.Bytes at most in all; the newest always stays.
std::vector<std::string> CopiesToLetGo(const std::vector<THistoryCopy>& oldestFirst, const TDateTime& now,
                                       const THistoryBounds& bounds = THistoryBounds());

}  // namespace tessara
