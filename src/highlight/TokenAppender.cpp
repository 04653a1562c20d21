#include "highlight/TokenAppender.h"

#include "platform/text/Utf.h"

#include <unicode/uchar.h>

namespace velkin::CodeHighlighter {

bool isNumericWord(U16View word, U16View extra)
{
    bool numeric = false;
    for (int i = 0; i < int(word.size());) {
        const char32_t c = codePointAt(word, i);
        const int length = codePointLength(word, i);
        if (c < 0x80 ? isDigit(char16_t(c))
                     : u_getIntPropertyValue(UChar32(c), UCHAR_NUMERIC_TYPE) != U_NT_NONE) {
            numeric = true;
        } else if (!(length == 1 && extra.find(word[size_t(i)]) != U16View::npos)) {
            return false;
        }
        i += length;
    }
    return numeric;
}

int quotedStringEnd(U16View code, int start, char16_t quote)
{
    const int L = int(code.size());
    int q = start + 1;
    while (q < L) {
        const char16_t u = code[size_t(q)];
        if (u == u'\\') {
            q = std::min(L, q + 2);
        } else if (u == quote) {
            return q + 1;
        } else if (u == u'\n') {
            break;
        } else {
            ++q;
        }
    }
    return std::min(L, q);
}

} // namespace velkin::CodeHighlighter
