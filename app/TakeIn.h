// Taking in templates from other repository files (a colleague's, or one's own from another
// machine, or a kept copy of the repository): which of their templates are new here.
#pragma once

#include <vector>

#include "app/Template.h"

namespace tessara {

// The templates known so far; one identical to a known one (the same name, controls data and
// module text) is passed over, any other becomes known as it is taken.
class TTakeIn {
public:
    explicit TTakeIn(const TXmlDNode* root);
    // True, and Content is known from now on, when no known template is identical to it.
    bool Take(const TTemplateContent& content);

private:
    std::vector<TTemplateContent> Known;
};

// The contents of the templates under Root, in their order.
std::vector<TTemplateContent> TemplateContents(const TXmlDNode* root);

}  // namespace tessara
