#pragma once
// The block renderer of the HTML page: a document's lines, classified once,
// walked from the top and handed block by block to their writers. Quotes and
// list items are rendered by child renderers over their inner text.
#include "export/MarkdownHTML.h"
#include "markdown/Footnote.h"
#include "markdown/MarkdownSyntax.h"
#include "markdown/ReferenceLink.h"

#include <unordered_map>
#include <vector>

namespace velkin::MarkdownHTML {

// The footnotes of one rendering, collected at every level and written once at the end.
struct Notes {
    std::vector<U16String> order;  // labels as written, in order of first definition
    std::unordered_map<U16String, U16String> markdown;  // normalised label -> note text

    std::unordered_map<U16String, int> references;  // normalised label -> references written so far
    std::unordered_map<U16String, U16String> anchors;  // normalised label -> its anchor on the page
    std::unordered_map<U16String, bool> anchorsTaken;

    // The first definition of a label wins.
    void record(U16View label, U16String text);
    // Counts one more reference to the label; 1 for its first.
    int countReference(U16View label);
    // The label's anchor, escaped: anchor() of it, unless another label took
    // that first ("a b" and "a-b"), then with "_2", "_3"... after it. An anchor
    // never holds "_" or "." otherwise, so these and the ids of repeated
    // references ("fnref-" anchor "." count) never meet another id.
    const U16String& anchorOf(U16View label);
};

// The pictures of one rendering: each file is read and decoded once, however
// often the text shows it.
struct Pictures {
    struct Written {
        U16String source;  // the data address when embedded, the path when written by path, else empty
        long long width = -1;  // the display size; -1 for a file that gave no picture
        long long height = -1;
    };
    std::unordered_map<std::string, Written> byPath;  // resolved file path -> what the img element carries
    std::vector<PageApart::Picture>* apart = nullptr;  // where embedded data is set apart to, if it is
    std::vector<U16String> unreadable;  // the addresses of files that hold no picture, as written, each once
};

class Renderer {
public:
    // The top renderer of a document.
    Renderer(U16View markdown, const Options& options, const Footnote::Labels& footnoteLabels,
             const ReferenceLink::Table& linkDefinitions, Notes& notes, Pictures& pictures);

    // Every block of the text.
    U16String renderAll();
    void renderAll(U16String& out);
    // The footnote section, or nothing when no note was defined.
    U16String notesHTML() const;

    // The inline HTML of a fragment: its spans as elements, its text escaped.
    U16String inlineHTML(U16View fragment) const;
    void appendInlineHTML(U16String& out, U16View fragment) const;
    // A table cell's inline HTML: each of its lines' breaks ("<br>", not
    // escaped, not in a code span) a line break inside whatever holds it.
    void appendCellHTML(U16String& out, U16View cell) const;
    // An img element; local readable pictures are sized and, when the options
    // say so, embedded as data addresses.
    U16String image(U16View alt, U16View url) const;

    const Options& options() const { return options_; }
    const Footnote::Labels& footnoteLabels() const { return footnoteLabels_; }
    const ReferenceLink::Table& linkDefinitions() const { return linkDefinitions_; }
    Notes& notes() const { return notes_; }

    // Nesting deeper than this renders the inner text as a paragraph: deep
    // hostile nesting must not exhaust the stack.
    static constexpr int maximumDepth = 64;

private:
    // A child over a quote's or an item's text; `definitions` tells which of
    // its lines are reference definitions of the document.
    Renderer(U16String text, MarkdownSyntax::LineFlags definitions, const Renderer& parent);
    void classify();

    int block(int i, U16String& out);
    int fencedCode(int i, U16String& out);
    int indentedCodeBlock(int i, U16String& out);
    int table(int i, U16String& out);
    int setextHeading(int i, U16String& out);
    int atxHeading(int i, const MarkdownSyntax::HeadingMatch& match, U16String& out);
    int footnoteDefinition(int i);
    int blockquote(int i, U16String& out);
    int list(int i, U16String& out);
    int figure(int i, U16View alt, U16View url, U16String& out);
    int paragraph(int i, U16String& out);
    bool startsBlock(int j) const;
    bool isBlank(int j) const;
    bool isDefinition(int j) const;
    U16String renderChild(U16String text, MarkdownSyntax::LineFlags definitions) const;
    // A text of one line (no line end in it) whose first character can start no block but a
    // paragraph (the common list item): its paragraph is written without
    // classifying the line. False when the text needs the full dispatch.
    bool renderPlainLine(U16View text, bool tight, U16String& out) const;
    U16String codeBlock(U16View code, const std::optional<U16String>& language) const;

    const Options& options_;
    const Footnote::Labels& footnoteLabels_;
    const ReferenceLink::Table& linkDefinitions_;
    Notes& notes_;
    Pictures& pictures_;
    int depth_ = 0;

    U16String text_;
    std::vector<U16View> lines_;  // without their line ends
    std::vector<MarkdownSyntax::FenceLine> fences_;
    MarkdownSyntax::LineFlags fenced_;
    MarkdownSyntax::LineFlags indentedCode_;
    MarkdownSyntax::LineFlags tableLines_;
    MarkdownSyntax::SetextMap setext_;
    MarkdownSyntax::LineFlags definitions_;  // a child's lines that are definitions of the document
};

// The body appended to `out`; with `apart`, embedded pictures are set apart as
// documentApart() says; `unreadable` as document() says.
void appendBody(U16String& out, U16View markdown, const Options& options,
                std::vector<PageApart::Picture>* apart = nullptr, std::vector<U16String>* unreadable = nullptr);

namespace RendererText {
// Whether the text holds a line end the renderer splits lines at.
bool holdsLineEnd(U16View text);
// The text's lines without their line ends, as lineRanges() splits them (LF,
// CR, CRLF, NEL, LS and PS end a line; a final line end opens no new line).
std::vector<U16View> lineTexts(U16View text);
// The indices of pipe-table lines: a delimiter row, the row above it and the rows below.
MarkdownSyntax::LineFlags tableRows(const std::vector<U16View>& lines, const MarkdownSyntax::LineFlags& fenced);
// Blank lines dropped from both ends of a line-feed separated text.
U16String trimmingBlankEdges(U16View text);
// The line without its first `columns` columns of indentation (a tab that crosses them goes whole).
U16View strippingIndent(U16View line, int columns);
// An ATX heading's text without its closing run of "#".
U16View trimmingClosingHashes(U16View text);
} // namespace RendererText

} // namespace velkin::MarkdownHTML
