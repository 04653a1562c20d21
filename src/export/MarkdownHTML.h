#pragma once
// A document's Markdown as one self-contained HTML page: a fixed head with the
// title and the embedded style sheet, then the body inside one article element.
#include "platform/attributed/MarkdownFontFamily.h"
#include "platform/text/Range.h"
#include "platform/url/Url.h"

#include <optional>
#include <string>
#include <vector>

namespace velkin::MarkdownHTML {

struct Options {
    // Text of the page's title element (escaped when written).
    U16String title = u"Untitled";
    // Chooses the font stack of the body text.
    MarkdownFontFamily family = MarkdownFontFamily::sansSerif;
    // Relative picture addresses resolve against it; without it they are not resolved.
    std::optional<Url> baseURL;
    // Whether readable local pictures are written into the page as data addresses.
    bool embedsImages = true;
    // Readable local pictures written as their file's absolute path instead (the
    // PDF and RTF import reads them itself, so the page need not hold them).
    bool picturesByPath = false;
};

// Escapes "&", "<", ">" and the double quote for element content and attribute
// values. It works code point by code point, so a quote followed by a combining
// mark is escaped like any other.
U16String escaped(U16View text);
// Returns whether the text holds a colon (the inline writer uses it to skip shortcode searches).
bool appendEscaped(U16String& out, U16View text);

// A footnote label as the identifier part of id and href attributes: trimmed of
// spaces and tabs, lowercased, every character that is not a letter or number
// turned into "-".
U16String anchor(U16View label);

// The style sheet placed between the page's style tags.
U16String styleSheet(MarkdownFontFamily family);

// The same colours and sizes as one flat light sheet (no custom properties, no
// media blocks, absolute sizes in points) for Qt's rich-text importer, which
// drops a sheet that uses custom properties.
U16String importStyleSheet(MarkdownFontFamily family);

// Known shortcodes replaced by their emoji. The inline writer calls it on text
// outside code spans; link destinations never reach it.
U16String substitutingEmoji(U16View text);

// The HTML that goes inside the page's article element.
U16String body(U16View markdown, const Options& options = Options{});

// The complete page. `unreadable`, when given, receives the address, as the
// text writes it, of each local file a picture shows that holds no picture
// this program can decode (which the page leaves as its description), once
// each, in text order.
U16String document(U16View markdown, const Options& options = Options{}, std::vector<U16String>* unreadable = nullptr);

// The complete page without its embedded pictures' data, which a writer puts
// in as it writes the page to a file, one picture at a time: where document()
// has a picture's base64 data, `text` has kPictureMark, the picture's index in
// `pictures` and kPictureMark again. A text that holds the mark itself has no
// picture set apart: its page is document()'s.
struct PageApart {
    static constexpr char16_t kPictureMark = u'\uFFFF';
    struct Picture {
        std::string path;
        long long bytes = 0;  // the file's size when the page was made
    };
    U16String text;
    std::vector<Picture> pictures;
    std::vector<U16String> unreadable;  // as document() gives them
};
PageApart documentApart(U16View markdown, const Options& options = Options{});

// Code as escaped HTML with class-named spans for the highlighter's tokens;
// plain escaped code for a language the highlighter does not know.
U16String highlighted(U16View code, const std::optional<U16String>& language);

} // namespace velkin::MarkdownHTML
