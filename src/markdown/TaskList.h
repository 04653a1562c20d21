#pragma once
// Task items: a list item whose text begins with a box, "[ ]" or "[x]".
#include "markdown/ProseLines.h"
#include "platform/attributed/TextStorage.h"
#include "platform/regex/Regex.h"
#include "platform/text/Range.h"

#include <QRectF>

#include <functional>
#include <optional>

class QPainter;

namespace velkin {

// The value under AttributeKey::TaskCheckbox over a collapsed task's box.
class TaskMark : public Marker {
public:
    TaskMark(bool checked, double size) : checked(checked), size(size) {}
    const bool checked;
    const double size;  // side of the drawn checkbox, in points
};

namespace TaskList {

struct Item {
    Range hiddenLeader;  // the bullet and its blanks; empty at the number of an ordered item
    Range box;           // the three characters of the box
    bool checked = false;
    bool operator==(const Item&) const = default;
};

// "^([ \t]*)([-*+]|\d{1,9}[.)])([ \t]+)(\[[ xX]\])(?=\s|$)".
const Regex& markerRegex();

// The task parts of one line (ranges relative to it), or nothing.
std::optional<Item> parse(U16View line);

// What a click writes over a box: "[x]" and "[X]" become "[ ]", anything else "[x]".
U16String toggledBox(U16View box);

// Calls `body` for every task line outside code, in order: the line without and
// with its terminator, and the item with its ranges in document positions.
using TaskLineVisitor = std::function<void(Range line, Range enclosing, const Item& item)>;
void enumerateTaskLines(const AttributedString& text, const TaskLineVisitor& body);
// The same over lines already classified (of the same, unchanged text).
void enumerateTaskLines(const ProseLines& lines, const TaskLineVisitor& body);

// Whether a task line shows its source for the editor's selection: the same rule as image lines.
bool showsSource(Range line, Range enclosing, Range selection);

// Hides the leader and the box, reserves the checkbox's width as kern on the
// box's last character, puts a TaskMark over the box and makes the line tall
// enough for it; nothing when a range reaches past the storage.
void collapse(TextStorage& storage, Range hiddenLeader, Range box, bool checked, double size);

// The checkbox size for a styler base size: max(11, round(0.95 x base)).
double checkboxSize(double baseSize);

// A rounded box, ticked in the accent colour when checked; y grows downward.
// Nothing for a rectangle 1 point or less in either direction.
void drawCheckbox(QPainter& painter, const QRectF& rect, bool checked, Appearance appearance = Appearance::Light);

} // namespace TaskList

} // namespace velkin
