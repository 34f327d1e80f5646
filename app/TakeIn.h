// Taking in templates from other repository files (a colleague's, or one's own from another
// machine): what a template holds, and when two templates are the same.
#pragma once

#include <string>

namespace tessara {

class TXmlDElement;

// A template's name, controls data and module text; a part the element lacks is empty.
struct TTemplateContent {
    std::string Name;
    std::string Controls;
    std::string Module;
    friend bool operator==(const TTemplateContent&, const TTemplateContent&) = default;
};

TTemplateContent ContentOf(TXmlDElement& templ);

}  // namespace tessara
