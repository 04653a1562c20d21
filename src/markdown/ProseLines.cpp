#include "markdown/ProseLines.h"

namespace velkin {

ProseLines::ProseLines(U16View text)
    : text(text), lines(lineRanges(text)), texts(MarkdownSyntax::lineTexts(text, lines)),
      fenced(MarkdownSyntax::fenceFlags(texts)), code(MarkdownSyntax::indentedCodeLines(texts, fenced))
{
}

} // namespace velkin
