#pragma once
// Small helpers that several check groups share.
#include "editor/TextEdit.h"
#include "markdown/MarkdownSyntax.h"
#include "platform/attributed/AttributedString.h"

#include <optional>
#include <string>

class QColor;
class QImage;

namespace velkin {

// The text with the edit's range replaced by its replacement; the text as it was without an edit.
U16String applyEdit(U16View text, const std::optional<TextEdit>& edit);

// True when the scan of `text` has a marker span covering exactly the characters `marker`.
bool hasMarker(U16View text, U16View marker);
// The characters under the first span whose token equals `token`, or nothing.
std::optional<U16String> firstContent(U16View text, const MarkdownToken& token);

// The characters of `text` under a span.
U16String spanText(U16View text, const MarkdownSpan& span);
// The first span of a kind (any payload), or null.
const MarkdownSpan* firstOfKind(const MarkdownSpans& spans, MarkdownToken::Kind kind);
bool hasKind(const MarkdownSpans& spans, MarkdownToken::Kind kind);
int countKind(const MarkdownSpans& spans, MarkdownToken::Kind kind);

// The mark of class M under `key` at `index` of a view's storage: nothing without
// a storage, without the attribute there, or for a value of another class.
// Serves the collapsed pictures (CollapsedImage) and emoji (EmojiMark) of the reveal checks.
template <class M>
std::shared_ptr<const M> pictureInCell(const AttributedString* storage, AttributeKey key, int index)
{
    return storage ? storage->marker<M>(key, index) : nullptr;
}

// A colour as notes print it: its space and components ("sRGB 1 0.37 0.34 1").
std::string colorDescription(const QColor& color);
// The colour of a decoded bitmap's pixel (origin top left), or nothing outside it.
std::optional<QColor> pixelColor(const QImage& image, int x, int y);

} // namespace velkin
