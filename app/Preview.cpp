#include "app/Preview.h"

#include <vector>

#include "app/Texts.h"

namespace tessara {
namespace {

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\n') {
            lines.emplace_back();
        } else if (c == '\t') {
            lines.back() += "    ";
        } else if (c != '\r') {
            lines.back() += c;
        }
    }
    // A text that ends in a line break has no line after it.
    while (lines.size() > 1 && lines.back().empty()) lines.pop_back();
    return lines;
}

}  // namespace

std::string TemplatePreview(const TTemplateContent& content) {
    const TTexts& t = Texts();
    std::string preview;
    if (!content.Module.empty()) {
        const std::vector<std::string> lines = LinesOf(content.Module);
        for (size_t i = 0; i < lines.size() && i < kPreviewLines; ++i) {
            if (i != 0) preview += "\r\n";
            // 1251 is one byte a character.
            if (lines[i].size() > kPreviewLineLength)
                preview += lines[i].substr(0, kPreviewLineLength - 1) + t.PreviewEllipsis;
            else
                preview += lines[i];
        }
        if (lines.size() > kPreviewLines) preview += "\r\n" + t.PreviewEllipsis;
    }
    if (!content.Controls.empty()) {
        if (!preview.empty()) preview += "\r\n";
        preview += t.PreviewControlsSize + std::to_string(content.Controls.size()) + t.PreviewBytes;
    }
    return preview;
}

}  // namespace tessara
