#include "app/TakeIn.h"

#include <algorithm>

namespace tessara {

std::vector<TTemplateContent> TemplateContents(const TXmlDNode* root) {
    std::vector<TTemplateContent> contents;
    for (TXmlDElement* templ : Templates(root)) contents.push_back(ContentOf(*templ));
    return contents;
}

TTakeIn::TTakeIn(const TXmlDNode* root) : Known(TemplateContents(root)) {}

bool TTakeIn::Take(const TTemplateContent& content) {
    if (std::find(Known.begin(), Known.end(), content) != Known.end()) return false;
    Known.push_back(content);
    return true;
}

}  // namespace tessara
