// The entity functions as the file format defines them: five replace-all passes each, in
// their order. The reference that the one-pass EscapeXml and UnescapeXml are checked against
// by the unit tests and the entities fuzz target.
#pragma once

#include <string>

namespace tessara::reference {

inline std::string ReplaceAll(const std::string& s, const std::string& from, const std::string& to) {
    std::string out;
    size_t pos = 0;
    for (size_t hit; (hit = s.find(from, pos)) != std::string::npos; pos = hit + from.size()) {
        out.append(s, pos, hit - pos);
        out += to;
    }
    out.append(s, pos, std::string::npos);
    return out;
}

inline std::string FivePassEscape(std::string s) {
    s = ReplaceAll(s, "&", "&amp;");
    s = ReplaceAll(s, "<", "&lt;");
    s = ReplaceAll(s, ">", "&gt;");
    s = ReplaceAll(s, "\"", "&quot;");
    return ReplaceAll(s, "'", "&apos;");
}

inline std::string FivePassUnescape(std::string s) {
    s = ReplaceAll(s, "&apos;", "'");
    s = ReplaceAll(s, "&quot;", "\"");
    s = ReplaceAll(s, "&gt;", ">");
    s = ReplaceAll(s, "&lt;", "<");
    return ReplaceAll(s, "&amp;", "&");
}

}  // namespace tessara::reference
