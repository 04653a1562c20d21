#pragma once
// The colours code tokens are drawn in, one light/dark pair per kind.
#include "highlight/CodeToken.h"
#include "platform/attributed/Color.h"

namespace velkin {

// A dynamic colour that resolves per appearance when it is drawn.
Color codeTokenColor(CodeTokenKind kind);

} // namespace velkin
