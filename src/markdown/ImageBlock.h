#pragma once
// Image lines: a line that is nothing but one Markdown image is shown as the
// picture, drawn over its unchanged (hidden) source text.
#include "markdown/ProseLines.h"
#include "platform/attributed/AttributedString.h"

#include <QImage>
#include <QRectF>
#include <QSizeF>

#include <functional>
#include <optional>
#include <string>

class QPainter;

namespace velkin {

// The value under AttributeKey::CollapsedImage over an image line's text.
class CollapsedImage : public Marker {
public:
    CollapsedImage(std::string key, U16String alt) : key(std::move(key)), alt(std::move(alt)) {}
    const std::string key;  // the picture's image-cache key: its resolved address
    const U16String alt;    // shown in the placeholder while the picture loads
};

namespace ImageBlock {

// Sizes in points.
inline constexpr double minimumAvailableWidth = 32;
inline constexpr double placeholderHeight = 120;
inline constexpr double maximumHeight = 320;

struct Parsed {
    U16String alt;
    U16String url;
    bool operator==(const Parsed&) const = default;
};

// The alt text and destination when the whole line, blanks aside, is one image with a destination.
std::optional<Parsed> parseBlockImage(U16View line);

// Calls `body` for every image line outside code, in order, with the line's range
// without and with its terminator, the alt text and the destination.
using ImageLineVisitor = std::function<void(Range line, Range enclosing, const U16String& alt, const U16String& url)>;
void enumerateImageLines(const AttributedString& text, const ImageLineVisitor& body);
// The same over lines already classified (of the same, unchanged text).
void enumerateImageLines(const ProseLines& lines, const ImageLineVisitor& body);

// Whether an image line shows its source for the editor's selection: with a caret,
// the line holding it (both ends included); else every line whose enclosing range
// shares a position with the selection.
bool showsSource(Range line, Range enclosing, Range selection);

// The size a picture (or, without one, its placeholder) is shown at in `available` points:
// never wider than the picture or the space, at most 320 high, whole points (at
// least one, however thin the picture).
QSizeF displaySize(const QImage* image, double available);
// The same for a picture of `picture` device-independent pixels (none when empty).
QSizeF displaySize(QSizeF picture, double available);

// Shows an image line as its picture: the line's characters are hidden and
// carry a CollapsedImage with `key` and `alt`, and the line (with its
// terminator) becomes exactly `height` points tall, without spacing.
void collapseLine(AttributedString& storage, Range line, Range enclosing, const std::string& key, U16View alt,
                  double height);

// Gives a line collapsed by collapseLine() (`enclosing`: with its terminator)
// the height `height`, as collapseLine() would at another width.
void setCollapsedHeight(AttributedString& storage, Range enclosing, double height);

// Paints the box that stands in for a picture that is loading or failed to load.
void drawPlaceholder(QPainter& painter, const QRectF& rect, U16View alt, bool failed,
                     Appearance appearance = Appearance::Light);
// The placeholder as an image of `size` points (blank when 1 point or less either way).
QImage placeholderImage(U16View alt, bool failed, QSizeF size, Appearance appearance = Appearance::Light,
                        double devicePixelRatio = 1);

} // namespace ImageBlock

} // namespace velkin
