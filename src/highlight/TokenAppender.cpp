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

} // namespace velkin::CodeHighlighter
