// Field splitting for the PortSettings text.
#include "so/io/Tokenize.h"

namespace QVO::IO {

std::vector<std::wstring> Tokenize(std::wstring_view text, std::wstring_view separators, bool skipEmpty,
                                   std::wstring_view filler) {
    if (text.empty() || separators.empty()) throw std::string(kTokenizeEmptyError);

    std::vector<std::wstring> tokens;
    size_t pos = 0;
    for (;;) {
        size_t sep = text.find_first_of(separators, pos);
        if (sep == std::wstring_view::npos) break;
        if (sep > pos)
            tokens.emplace_back(text.substr(pos, sep - pos));
        else if (!skipEmpty)
            tokens.emplace_back(filler);
        pos = sep + 1;
    }
    std::wstring_view rest = text.substr(pos);
    if (!rest.empty())
        tokens.emplace_back(rest);
    else if (!skipEmpty)
        tokens.emplace_back(filler);
    return tokens;
}

}  // namespace QVO::IO
