#include "selftest/CheckUtilities.h"

#include <algorithm>

namespace velkin {

U16String applyEdit(U16View text, const std::optional<TextEdit>& edit)
{
    if (!edit)
        return U16String(text);
    const long long n = static_cast<long long>(text.size());
    const long long start = std::clamp<long long>(edit->range.location, 0, n);
    const long long end = std::clamp<long long>(static_cast<long long>(edit->range.location) + edit->range.length, start, n);
    U16String out(text.substr(0, size_t(start)));
    out += edit->replacement;
    out += text.substr(size_t(end));
    return out;
}

} // namespace velkin
