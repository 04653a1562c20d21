#pragma once
// Helpers shared by the scanner's own files; not part of its interface.
#include "markdown/Alert.h"
#include "markdown/Footnote.h"
#include "markdown/MarkdownList.h"
#include "markdown/ReferenceLink.h"
#include "platform/text/Range.h"

namespace velkin {

namespace MarkdownSyntax {
struct BlockLines;
}

namespace detail {

// The line without one trailing CR, LF or CRLF.
inline U16View withoutTerminator(U16View line)
{
    if (!line.empty() && line.back() == u'\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == u'\r')
        line.remove_suffix(1);
    return line;
}

// A unit that "." does not match and before which "$" may match.
constexpr bool isLineTerminatorUnit(char16_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

inline bool holdsTerminator(U16View s)
{
    for (char16_t c : s)
        if (isLineTerminatorUnit(c))
            return true;
    return false;
}

// The regular expressions' "\s": tab, LF, VT, FF, CR, NEL and the separators (Z*).
bool isPatternSpace(char16_t c);

// Whole-text walkers that reuse one classification of the text.
Footnote::Labels definedFootnoteLabels(const MarkdownSyntax::BlockLines& lines);
ReferenceLink::Table referenceDefinitions(const MarkdownSyntax::BlockLines& lines);
std::vector<Alert::Block> alertBlocks(const MarkdownSyntax::BlockLines& lines);
std::vector<Footnote::Definition> footnoteDefinitions(const MarkdownSyntax::BlockLines& lines);

} // namespace detail

} // namespace velkin
