// The parts of the safe file replacement that every system shares: the temporary files' names.
#include <charconv>

#include "platform/SafeFile.h"

namespace tessara {

std::string SafeFileTempName(const std::string& target, uint32_t pid, int attempt) {
    return target + ".~" + std::to_string(pid) + "-" + std::to_string(attempt) + ".tmp";
}

bool ParseSafeFileTempName(std::string_view name, std::string_view targetName, uint32_t& pid) {
    constexpr std::string_view kOpen = ".~", kClose = ".tmp";
    if (name.size() <= targetName.size() + kOpen.size() + kClose.size()) return false;
    if (name.substr(0, targetName.size()) != targetName) return false;
    std::string_view rest = name.substr(targetName.size());
    if (rest.substr(0, kOpen.size()) != kOpen || rest.substr(rest.size() - kClose.size()) != kClose) return false;
    rest = rest.substr(kOpen.size(), rest.size() - kOpen.size() - kClose.size());
    const size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == rest.size()) return false;
    for (const char c : rest.substr(0, dash)) if (c < '0' || c > '9') return false;
    for (const char c : rest.substr(dash + 1)) if (c < '0' || c > '9') return false;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + dash, pid);
    return error == std::errc() && end == rest.data() + dash && pid != 0;
}

int RemoveStaleSafeFileTemps(const std::string& target) noexcept {
    try {
        int removed = 0;
        for (const std::string& name : StaleSafeFileTemps(target)) removed += RemoveFile(name) ? 1 : 0;
        return removed;
    } catch (...) {
        return 0;  // out of memory while listing: the files stay for the next save
    }
}

}  // namespace tessara
