#pragma once
// Pictures stored beside a document, in the folder "images", and the paths the
// Markdown refers to them by; and image types by file extension.
#include "platform/text/Range.h"
#include "platform/url/Url.h"

#include <QByteArray>

#include <optional>
#include <set>
#include <string>

namespace velkin::ImageInsertion {

// The path extensions that count as picture files.
const std::set<U16String>& imageExtensions();

// Why a picture could not be stored: the file it was to be, and the reason.
struct Failure {
    std::string file;
    std::string reason;
};

// Copies a picture file into the images folder beside the document; the
// Markdown path of the copy ("images/" + file name), or nothing when the
// document was never saved or the copy failed (then `failure`, when given, says why).
std::optional<U16String> copyBesideDocument(const Url& source, const std::optional<Url>& documentURL,
                                            Failure* failure = nullptr);

// Writes picture bytes into the images folder under the name "image"; the
// Markdown path of the new file, or nothing (and why, in `failure`).
std::optional<U16String> materialize(const QByteArray& data, U16View preferredExtension,
                                     const std::optional<Url>& documentURL, Failure* failure = nullptr);

// The path of a file relative to the document's folder, for a file inside that
// folder or below it; nothing otherwise.
std::optional<U16String> relativePath(const Url& file, const std::optional<Url>& documentURL);

// The image line "![](path)" for a picture path; a path with spaces, tabs or
// parentheses goes between angle brackets. None for a path no image line can
// hold as it stands (angle brackets or a line break in a file name).
std::optional<U16String> imageLine(U16View path);

// An image line put into a text: the range replaced, by what, and where the caret goes.
struct Placement {
    Range range;
    U16String replacement;
    int caret = 0;
    bool operator==(const Placement&) const = default;
};

// The image line `line` put into `text` at `position` as a paragraph of its own, a blank
// line apart from the text around it: in a quotation after its quote leaders, in a list
// item indented as the item's text. What follows the position on its line goes on after
// the picture, a blank line below it, with the same leader; a position in the leader or
// before the line's text puts the picture above the line. `lineEnd` is the document's line
// end.
Placement placement(U16View text, int position, U16View line, U16View lineEnd);

// The image type of an extension, "image/png" for anything unknown.
U16String mimeType(U16View extension);

} // namespace velkin::ImageInsertion
