#pragma once
// Emoji shortcodes such as ":rocket:": the names they resolve through (an alias
// table, then Unicode character names), completion candidates, finding them in
// text, and showing one as its emoji over its unchanged source characters.
#include "markdown/ProseLines.h"
#include "platform/attributed/TextStorage.h"
#include "platform/regex/Regex.h"

#include <QRectF>

#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

class QPainter;

namespace velkin {

// The value under AttributeKey::EmojiShortcode over a collapsed shortcode.
class EmojiMark : public Marker {
public:
    EmojiMark(U16String emoji, double size, double width, double capHeight)
        : emoji(std::move(emoji)), size(size), width(width), capHeight(capHeight)
    {
    }
    const U16String emoji;   // what is drawn
    const double size;       // point size of the font at the shortcode
    const double width;      // drawn width of the emoji, whole points
    const double capHeight;  // of that font: the emoji is centred on the capitals
};

namespace EmojiShortcode {

struct Candidate {
    U16String name;
    U16String emoji;
    bool operator==(const Candidate&) const = default;
};

// ---- The catalogue ----
// Alias names (lower case) and their emoji, as stored (without the variation-selector step).
const std::unordered_map<U16String, U16String>& aliases();
// The names offered for an empty query, in order.
const std::vector<U16String>& popular();
// Every name completion can offer, sorted by name.
const std::vector<Candidate>& allCandidates();

// The emoji a name shows as (case-insensitive), or nothing.
std::optional<U16String> emoji(U16View name);
// The single emoji scalar whose Unicode character name the name spells ("_" for
// spaces), or nothing. Lookups are remembered for the process.
std::optional<U16String> unicodeNamed(U16View name);
// The emoji with U+FE0F appended when it is one scalar shown as text by default.
U16String emojiPresentation(U16View emoji);
// Ranked completions of a partial name: the popular names for an empty query,
// else names starting with the query before names containing it, popular first,
// then shorter, then by name; at most `limit` of them.
std::vector<Candidate> candidates(U16View query, int limit);

// ---- Shortcodes in text ----
// "(?<![A-Za-z0-9_]):([-+_A-Za-z0-9]{1,48}):(?![A-Za-z0-9_])".
const Regex& shortcodeRegex();
// The longest name a shortcode may have.
inline constexpr int maxNameLength = 48;
// Whether a unit may stand in a shortcode's name: an ASCII letter or digit, "-", "+" or "_".
bool isShortcodeNameUnit(char16_t c);
// The pattern's matches in the text, found by hand: a colon that no ASCII word
// character precedes, 1 to 48 name characters, a colon that none follows.
std::vector<Range> ranges(U16View text);

struct Match {
    Range range;  // colon to colon
    U16String emoji;
    bool operator==(const Match&) const = default;
};

// Where shortcodes stay literal: code spans, then link destinations, then image destinations.
std::vector<Range> protectedRanges(U16View text);
// Every resolvable shortcode outside protected ranges, in text order.
std::vector<Match> matches(U16View text);
// From the opening colon of the name being typed up to the caret, or nothing.
std::optional<Range> typingRange(U16View text, int caret);
// The same with `fenced` telling whether a line of the text lies in a fenced code
// block, as isFenced() does (a caller that remembers fences need not rescan them).
std::optional<Range> typingRange(U16View text, int caret, const std::function<bool(Range line)>& fenced);
// Whether the line `line` of `text` lies inside a fenced code block.
bool isFenced(U16View text, Range line);
// Calls `body` for every shortcode of the text outside code, in order, with document ranges.
void enumerateShortcodes(const AttributedString& text, const std::function<void(Range, const U16String&)>& body);
// The same over lines already classified (of the same, unchanged text).
void enumerateShortcodes(const ProseLines& lines, const std::function<void(Range, const U16String&)>& body);

// ---- Showing a shortcode as its emoji ----
// Whether a shortcode shows its source for the editor's selection: a caret strictly
// inside it (not just before or after a colon), or a selection sharing a position with it.
bool showsSource(Range shortcode, Range selection);
// Hides the shortcode's characters, reserves the emoji's width as kern on its
// last character and puts an EmojiMark over it; nothing for a range outside the storage.
void collapse(TextStorage& storage, Range range, const U16String& emoji);
// The emoji's width in the system font at `size`, rounded up to a whole point.
double width(U16View emoji, double size);
// Draws the mark's emoji into `rect`; nothing for a rectangle 1 point or less in either direction.
void draw(QPainter& painter, const QRectF& rect, const EmojiMark& mark, Appearance appearance = Appearance::Light);

} // namespace EmojiShortcode

} // namespace velkin
