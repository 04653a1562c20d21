#pragma once
// The pieces of the editor's restyle after an edit: the stretch of text that is
// restyled alone (around the change, at line starts, widened until what it gives
// at both ends agrees with what the storage already holds there), and the copy
// of its runs back into the storage where they differ.
#include "platform/attributed/TextStorage.h"

namespace velkin::RestyleWindow {

// The start of the line holding `position`.
int lineStart(U16View text, int position);
// The start of the line after the one holding `position`, or the text's length.
int nextLineStart(U16View text, int position);

// Whether two dictionaries style text alike: markers by kind (each restyle makes
// its own), everything else by value.
bool alike(const Attributes& a, const Attributes& b);
// Whether `piece` (whose unit 0 is `offset` of `storage`) styles `range` (in the
// storage's units) as the storage does.
bool agrees(const AttributedString& piece, int offset, const AttributedString& storage, Range range);
// Sets the piece's runs over the storage from `offset` on, only where they differ;
// the piece's first `skip` units (a context read before it) are left out, and
// with `end`, those from it on (a context read after it).
void copyBack(const AttributedString& piece, int offset, TextStorage& storage, int skip = 0, int end = -1);
// Whether the line starting at `start` reads as a fenced code delimiter.
bool looksLikeFence(U16View text, int start);

} // namespace velkin::RestyleWindow
