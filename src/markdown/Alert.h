#pragma once
// Alert blocks: a block quote whose first line is only a label such as "> [!NOTE]".
#include "platform/attributed/Attributes.h"
#include "platform/attributed/Color.h"
#include "platform/regex/Regex.h"
#include "platform/text/Range.h"

#include <QRectF>

#include <array>
#include <optional>
#include <vector>

class QPainter;

namespace velkin {

enum class AlertKind { note, tip, important, warning, caution };

namespace AlertKinds {
// Every kind, in declaration order.
inline constexpr std::array<AlertKind, 5> all = {AlertKind::note, AlertKind::tip, AlertKind::important,
                                                 AlertKind::warning, AlertKind::caution};
// "note", "tip", "important", "warning", "caution".
const char* rawValue(AlertKind kind);
// The kind whose raw value is exactly `raw` (lower case only), or nothing.
std::optional<AlertKind> fromRawValue(U16View raw);
// The name of the symbol drawn as the kind's icon.
const char* symbolName(AlertKind kind);
// The accent colour: system blue, green, purple, orange, red.
Color color(AlertKind kind);
// The label's colour: the accent darkened by 30% in light appearance, lightened by 15% in dark.
Color labelColor(AlertKind kind);
} // namespace AlertKinds

// The mark of an alert: under AlertBlock over the whole block (size and gap 0),
// under AlertIcon over the label with the icon's size and the gap before the label.
// Compares by its fields: two blocks never touch (a line outside both parts them),
// so equal marks side by side are one block's, made by restyles of its parts.
class AlertMark : public Marker {
public:
    AlertMark(AlertKind kind, double size, double gap) : kind(kind), size(size), gap(gap) {}
    bool comparesByValue() const override { return true; }
    bool sameFields(const Marker& other) const override;
    size_t fieldHash() const override;
    const AlertKind kind;
    const double size;  // side of the icon square; 0 for the block mark
    const double gap;   // space between the icon and the label
};

namespace Alert {

struct Block {
    AlertKind kind;
    Range range;    // label line start through the terminator of the last quoted line
    Range label;    // "[!NOTE]"
    Range keyword;  // "NOTE"
    bool operator==(const Block&) const = default;
};

struct Label {
    AlertKind kind;
    Range label;
    Range keyword;
    bool operator==(const Label&) const = default;
};

// "^([ ]{0,3}>[ \t]?)(\[!(NOTE|TIP|IMPORTANT|WARNING|CAUTION)\])[ \t]*$", case-insensitive.
const Regex& labelRegex();
// "^[ ]{0,3}>": a block-quote line.
const Regex& quoteLineRegex();

// The label of one line (ranges relative to the line), or nothing.
std::optional<Label> parseLabel(U16View line);
// The alert blocks of a whole text, in text order, never overlapping.
std::vector<Block> blocks(U16View text);

// The tinted panel behind a block: the accent at 10 % over a rounded rectangle,
// with a 3-point accent bar down its left edge; nothing for a rectangle 1 point or less.
void drawPanel(QPainter& painter, const QRectF& rect, AlertKind kind, Appearance appearance = Appearance::Light);
// The kind's symbol in its label colour, fitted into `rect`; nothing for a rectangle 1 point or less.
void drawIcon(QPainter& painter, const QRectF& rect, AlertKind kind, Appearance appearance = Appearance::Light);

} // namespace Alert

} // namespace velkin
