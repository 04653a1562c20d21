#pragma once
// Help pages read like finished documents: the purely decorative Markdown
// (heading signs, emphasis characters, sub/sup/underline tags, escape
// backslashes, link brackets and targets) is removed from the styled page.
#include "platform/attributed/TextStorage.h"

namespace velkin::HelpMarkup {

// Deletes the decorative syntax from a styled help page in place; the styling
// stays on the remaining characters and link text stays clickable.
void stripDecorativeSyntax(TextStorage& storage);

bool isHeadingMarker(U16View marker);
bool isTagMarker(U16View marker);

} // namespace velkin::HelpMarkup
