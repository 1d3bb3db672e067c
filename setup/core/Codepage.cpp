// The code page dialog's lists.
#include "setup/core/Codepage.h"

#include <algorithm>

#include "setup/core/TextUtil.h"

namespace QVO::Setup {

CodepageChoices CodepageChoices::FromTexts(const LanguageTexts& texts) {
    CodepageChoices choices;
    choices.items = SplitText(texts.Text(L"FormSetCodepage_cmbCodepage_Items"), L",");
    for (const std::wstring& id : SplitText(texts.CodepageIdList(), L",")) choices.ids.push_back(Trim(id));
    const size_t common = std::min(choices.items.size(), choices.ids.size());
    choices.items.resize(common);
    choices.ids.resize(common);
    return choices;
}

size_t CodepageChoices::IndexOf(std::wstring_view id) const {
    const auto it = std::find(ids.begin(), ids.end(), Trim(id));
    return it == ids.end() ? 0 : static_cast<size_t>(it - ids.begin());
}

Status SetCodepage(std::wstring_view device, std::wstring_view id) {
    return RegWriteText(EntryKey(DeviceClass::Printer, device), L"CodepageID", id);
}

}  // namespace QVO::Setup
