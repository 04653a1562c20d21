#include "highlight/CodeToken.h"

namespace velkin {

const char* codeTokenKindName(CodeTokenKind kind)
{
    switch (kind) {
    case CodeTokenKind::keyword: return "keyword";
    case CodeTokenKind::type: return "type";
    case CodeTokenKind::string: return "string";
    case CodeTokenKind::number: return "number";
    case CodeTokenKind::comment: return "comment";
    case CodeTokenKind::inserted: return "inserted";
    case CodeTokenKind::deleted: return "deleted";
    }
    return "keyword";
}

} // namespace velkin
