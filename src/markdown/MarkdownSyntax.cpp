#include "markdown/MarkdownSyntax.h"

namespace velkin {

bool MarkdownToken::isInline() const
{
    switch (kind_) {
    case Kind::heading:
    case Kind::codeSyntax:
    case Kind::alert:
    case Kind::alertLabel:
    case Kind::footnoteLabel:
    case Kind::codeBlock:
    case Kind::table:
        return false;
    default:
        return true;
    }
}

} // namespace velkin
