#pragma once
// Small helpers that several check groups share.
#include "editor/TextEdit.h"

#include <optional>

namespace velkin {

// The text with the edit's range replaced by its replacement; the text as it was without an edit.
U16String applyEdit(U16View text, const std::optional<TextEdit>& edit);

} // namespace velkin
