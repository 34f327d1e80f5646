// A copy of a template whose module text holds placeholders: the values asked for through the
// placeholder dialog and filled in, with the typed characters that Windows-1251 lacks counted;
// and the preview's line that names what such a copy asks for.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/Placeholders.h"
#include "app/Ports.h"

namespace tessara {

// The module text a copy puts on the clipboard.
struct TModuleCopy {
    std::string Text;
    size_t Replaced = 0;  // typed characters that Windows-1251 lacks, each put as "?"
};

// The module text to copy. Without placeholders: the text as it is, and nothing is asked.
// Otherwise the dialog asks over Owner, titled with the template's name (Now, called then,
// gives the moment a date field offers): the text filled in, the text as it is, or nothing
// when the user cancels. The module is taken by value: the dialog's own message loop may
// run a change of the document meanwhile.
std::optional<TModuleCopy> ModuleToCopy(IPlaceholderDialog& dialog, std::string module, TDialogOwner owner,
                                        const std::string& templateName,
                                        const std::function<TDateTime()>& now);

// The preview with one last line naming the fields a copy of Module asks for, when it asks
// for any.
std::string WithPlaceholderPrompts(std::string preview, std::string_view module);

}  // namespace tessara
