// The code page dialog's lists and the CodepageID of a printer entry.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "setup/core/DeviceStore.h"
#include "setup/core/Language.h"

namespace QVO::Setup {

// The display texts ("FormSetCodepage_cmbCodepage_Items") and the IDs ("CodepageIDList"),
// matched by position. When the two lists differ in length only the positions both have
// are offered, so a text never stands for another page's ID.
struct CodepageChoices {
    std::vector<std::wstring> items;
    std::vector<std::wstring> ids;

    static CodepageChoices FromTexts(const LanguageTexts& texts);
    // The first position whose ID is `id`, or 0 when none is.
    size_t IndexOf(std::wstring_view id) const;
};

// Writes `id` as the entry's "CodepageID".
Status SetCodepage(std::wstring_view device, std::wstring_view id);

}  // namespace QVO::Setup
