#include "app/RepositoryHistory.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace tessara {
namespace {

// The file's name without its folder, split at the last dot: "1CDialogControls", ".xml".
std::pair<std::string, std::string> StemAndExtension(const std::string& repositoryFile) {
    const size_t slash = repositoryFile.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? repositoryFile : repositoryFile.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {name, std::string()};
    return {name.substr(0, dot), name.substr(dot)};
}

constexpr size_t kStampLength = 20;  // " YYYY-MM-DD HH-MM-SS"

// The date of a copy's name, as " YYYY-MM-DD HH-MM-SS" after the stem; false for another file.
bool ParseStamp(std::string_view stamp, TDateTime& at) {
    if (stamp.size() != kStampLength) return false;
    const char* p = stamp.data();
    int values[6];
    const size_t starts[6] = {1, 6, 9, 12, 15, 18}, lengths[6] = {4, 2, 2, 2, 2, 2};
    for (int i = 0; i < 6; ++i) {
        int v = 0;
        for (size_t k = 0; k < lengths[i]; ++k) {
            const char c = p[starts[i] + k];
            if (c < '0' || c > '9') return false;
            v = v * 10 + (c - '0');
        }
        values[i] = v;
    }
    if (p[0] != ' ' || p[5] != '-' || p[8] != '-' || p[11] != ' ' || p[14] != '-' || p[17] != '-') return false;
    at = {values[0], values[1], values[2], values[3], values[4], values[5]};
    return at.Month >= 1 && at.Month <= 12 && at.Day >= 1 && at.Day <= 31;
}

}  // namespace

std::string HistoryFolder(const std::string& repositoryFile, char separator) {
    const size_t slash = repositoryFile.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? std::string() : repositoryFile.substr(0, slash) + separator;
    return folder + StemAndExtension(repositoryFile).first + ".history";
}

std::string HistoryCopyName(const std::string& repositoryFile, char separator, const TDateTime& at,
                            const std::vector<THistoryCopy>& taken) {
    const auto [stem, extension] = StemAndExtension(repositoryFile);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, " %04d-%02d-%02d %02d-%02d-%02d", at.Year, at.Month, at.Day, at.Hour, at.Minute,
                  at.Second);
    std::string name = stem + stamp + extension;
    for (char n = '2'; n <= '9'; ++n) {
        if (std::none_of(taken.begin(), taken.end(), [&](const THistoryCopy& copy) { return copy.Name == name; })) break;
        name = stem + stamp + '_' + n + extension;
    }
    return HistoryFolder(repositoryFile, separator) + separator + name;
}

TDateTime LocalNow() {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);  // the program's one thread
    if (local == nullptr) return TDateTime{1970, 1, 1, 0, 0, 0};
    return {local->tm_year + 1900, local->tm_mon + 1, local->tm_mday, local->tm_hour, local->tm_min, local->tm_sec};
}

int64_t DayNumber(const TDateTime& at) {
    // Days since 1970-01-01 in the proleptic Gregorian calendar.
    const int64_t y = at.Year - (at.Month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (at.Month + (at.Month > 2 ? -3 : 9)) + 2) / 5 + at.Day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::vector<THistoryCopy> HistoryCopies(const std::string& repositoryFile,
                                        const std::vector<std::pair<std::string, int64_t>>& files) {
    const auto [stem, extension] = StemAndExtension(repositoryFile);
    std::vector<THistoryCopy> copies;
    for (const auto& [name, size] : files) {
        // The stamp, and "_2" .. "_9" for a second copy of the same second.
        const size_t plain = stem.size() + kStampLength + extension.size();
        if ((name.size() != plain && name.size() != plain + 2) || name.compare(0, stem.size(), stem) != 0 ||
            name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
            continue;
        if (name.size() == plain + 2 && (name[plain - extension.size()] != '_' || name[plain - extension.size() + 1] < '2' ||
                                         name[plain - extension.size() + 1] > '9'))
            continue;
        TDateTime at;
        if (!ParseStamp(std::string_view(name).substr(stem.size(), kStampLength), at)) continue;
        copies.push_back({name, size, DayNumber(at)});
    }
    std::sort(copies.begin(), copies.end(), [](const THistoryCopy& a, const THistoryCopy& b) { return a.Name < b.Name; });
    return copies;
}

std::vector<std::string> CopiesToLetGo(const std::vector<THistoryCopy>& oldestFirst, const TDateTime& now,
                                       const THistoryBounds& bounds) {
    int64_t bytes = 0;
    for (const THistoryCopy& copy : oldestFirst) bytes += copy.Size;
    const int64_t today = DayNumber(now);
    std::vector<std::string> letGo;
    size_t left = oldestFirst.size();
    for (const THistoryCopy& copy : oldestFirst) {
        if (left <= 1) break;  // the newest stays
        if (left <= bounds.Copies && today - copy.Day <= bounds.Days && bytes <= bounds.Bytes) break;
        letGo.push_back(copy.Name);
        bytes -= copy.Size;
        --left;
    }
    return letGo;
}

}  // namespace tessara
