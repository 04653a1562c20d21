#pragma once
// Random edits through a live editor, each followed by a comparison of its
// storage, run by run, and its layout, line by line, with an editor that
// styled and laid out the same text from scratch. Shared by the unit test
// (fixed seed, modest count) and the long run in the benchmark program.
#include "editor/MarkdownEditor.h"
#include "editor/MarkdownTextView.h"
#include "markdown/Alert.h"
#include "markdown/TableGrid.h"
#include "platform/layout/LayoutManager.h"
#include "platform/text/Lines.h"
#include "platform/text/Utf.h"

#include <QImage>
#include <QPainter>

#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <typeinfo>

namespace velkin::differential {

inline U16String readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream s;
    s << in.rdbuf();
    return u16(s.str());
}

// An editor window's view over its own copy of a document.
// When set, the rows a long table's layout blocks hold (see LayoutManager), so that short tables are cut too.
inline int tableBlockRows = 0;

struct Editor {
    std::shared_ptr<U16String> document = std::make_shared<U16String>();
    std::unique_ptr<MarkdownEditorView> host;

    // With `stepwiseFrom`, texts that long are styled in steps (see MarkdownEditor).
    explicit Editor(U16View text, Range selection = {0, 0}, const AttributedString* styled = nullptr,
                    int stepwiseFrom = 0)
    {
        *document = U16String(text);
        auto doc = document;
        // Bound as a document window binds its text: changes are written back in place.
        host = std::make_unique<MarkdownEditorView>(MarkdownEditor{
            {[doc] { return *doc; }, [doc](const U16String& t) { *doc = t; },
             [doc](Range r, U16View t) { doc->replace(size_t(r.location), size_t(r.length), t); }},
            1.0, MarkdownFontFamily::sansSerif, stepwiseFrom});
        if (tableBlockRows > 0) {
            view().layoutManager()->tableBlockRows = tableBlockRows;
            view().layoutManager()->invalidateLayout({0, storage().length()});
        }
        view().resize(700, 600);
        if (styled)
            view().setAttributedString(*styled);
        view().setSelectedRange(selection);
        host->coordinator().restyle(view());
        view().layoutDocument();
    }
    MarkdownTextView& view() const { return *host->textView(); }
    TextStorage& storage() const { return *view().textStorage(); }
};

// Grid cell blocks compare by identity in the storage; here by place, since two renderings make two grids.
inline bool sameCell(const TextBlock* a, const TextBlock* b)
{
    const auto* x = dynamic_cast<const TextTableBlock*>(a);
    const auto* y = dynamic_cast<const TextTableBlock*>(b);
    if (!x || !y)
        return a == b;
    return x->startingRow() == y->startingRow() && x->rowSpan() == y->rowSpan()
        && x->startingColumn() == y->startingColumn() && x->columnSpan() == y->columnSpan()
        && x->backgroundColor == y->backgroundColor && x->table()->numberOfColumns == y->table()->numberOfColumns
        && x->width(TextTableBlock::Layer::Padding, TextTableBlock::MinX) == y->width(TextTableBlock::Layer::Padding, TextTableBlock::MinX)
        && x->width(TextTableBlock::Layer::Padding, TextTableBlock::MaxY) == y->width(TextTableBlock::Layer::Padding, TextTableBlock::MaxY);
}

// Most markers compare by identity in the storage; here by kind, since two
// restyles make two sets. An alert's marks by what they show.
inline bool sameValue(const AttributeValue& a, const AttributeValue& b)
{
    const auto* ma = std::get_if<MarkerPtr>(&a);
    const auto* mb = std::get_if<MarkerPtr>(&b);
    if (ma && mb) {
        const auto* x = dynamic_cast<const AlertMark*>(ma->get());
        const auto* y = dynamic_cast<const AlertMark*>(mb->get());
        if (x && y)
            return x->kind == y->kind && x->size == y->size && x->gap == y->gap;
        return *ma && *mb ? typeid(**ma) == typeid(**mb) : *ma == *mb;
    }
    const auto* pa = std::get_if<ParagraphStylePtr>(&a);
    const auto* pb = std::get_if<ParagraphStylePtr>(&b);
    if (pa && pb && *pa && *pb) {
        ParagraphStyle x = **pa, y = **pb;
        if (x.textBlocks.size() != y.textBlocks.size())
            return false;
        for (size_t i = 0; i < x.textBlocks.size(); ++i)
            if (!sameCell(x.textBlocks[i].get(), y.textBlocks[i].get()))
                return false;
        x.textBlocks.clear();
        y.textBlocks.clear();
        return x == y;
    }
    return attributeValuesEqual(a, b);
}

inline bool sameAttributes(const Attributes& a, const Attributes& b, AttributeKey* differing)
{
    for (int k = 0; k < int(AttributeKey::Count); ++k) {
        const auto key = AttributeKey(k);
        const AttributeValue* va = a.get(key);
        const AttributeValue* vb = b.get(key);
        if ((va == nullptr) != (vb == nullptr) || (va && !sameValue(*va, *vb))) {
            *differing = key;
            return false;
        }
    }
    return true;
}

// The first difference between two storages of equal text, described; empty when
// equal. With `upTo` (and `from`), only the characters before it (and from `from` on) count.
inline std::string storageDifference(const AttributedString& kept, const AttributedString& fresh, int upTo = -1,
                                     int from = 0)
{
    if (kept.string() != fresh.string())
        return "texts differ";
    const int n = upTo < 0 ? kept.length() : std::min(upTo, kept.length());
    for (int i = std::max(0, from); i < n;) {
        Range a, b;
        const Attributes& x = kept.attributes(i, &a);
        const Attributes& y = fresh.attributes(i, &b);
        AttributeKey key{};
        if (!sameAttributes(x, y, &key)) {
            const Range line = lineRange(kept.string(), {i, 0});
            return "attribute " + std::string(attributeKeyName(key)) + " differs at " + std::to_string(i)
                + " in line \"" + u8(substring(kept.string(), line)) + "\"";
        }
        i = std::min(a.end(), b.end());
    }
    return {};
}

// The first alert panel drawn otherwise in two storages of equal text (a panel is
// a longest stretch of equal block marks, drawn as one), described; empty when equal.
inline std::string panelDifference(const AttributedString& kept, const AttributedString& fresh)
{
    auto panels = [](const AttributedString& storage) {
        std::vector<Range> out;
        storage.enumerateAttribute(AttributeKey::AlertBlock, Range{0, storage.length()},
                                   [&](const AttributeValue* value, Range run) {
                                       if (value)
                                           out.push_back(run);
                                   }, true);
        return out;
    };
    const std::vector<Range> a = panels(kept), b = panels(fresh);
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const Range x = i < a.size() ? a[i] : Range{-1, 0}, y = i < b.size() ? b[i] : Range{-1, 0};
        if (!(x == y))
            return "alert panel " + std::to_string(i) + " is drawn over " + std::to_string(x.location) + "+"
                + std::to_string(x.length) + " instead of " + std::to_string(y.location) + "+" + std::to_string(y.length);
    }
    return {};
}

// The first line whose fragment differs between two laid-out views of equal text; empty when equal.
inline std::string layoutDifference(LayoutManager& kept, LayoutManager& fresh, const U16String& text)
{
    kept.ensureLayout();
    fresh.ensureLayout();
    const LineIndex lines(text);
    for (const LineRange& line : lines.lines()) {
        const int at = line.content.location;
        if (at >= int(text.size()))
            break;
        const QRectF a = kept.lineFragmentRect(at);
        const QRectF b = fresh.lineFragmentRect(at);
        const double tolerance = 0.01;
        if (std::abs(a.top() - b.top()) > tolerance || std::abs(a.height() - b.height()) > tolerance
            || std::abs(a.left() - b.left()) > tolerance || std::abs(a.width() - b.width()) > tolerance
            || std::abs(kept.location(at).x() - fresh.location(at).x()) > tolerance)
            return "line at " + std::to_string(at) + " \"" + u8(substring(text, line.content)) + "\" lies at y "
                + std::to_string(a.top()) + " h " + std::to_string(a.height()) + " instead of y "
                + std::to_string(b.top()) + " h " + std::to_string(b.height());
    }
    const QRectF a = kept.usedRect(), b = fresh.usedRect();
    if (std::abs(a.height() - b.height()) > 0.01)
        return "used heights differ";
    return {};
}

// Fragments that open and close constructs acting beyond their own line.
inline const std::vector<U16String>& fragments()
{
    static const std::vector<U16String> pieces{
        u"x", u"word ", u" ", u"\n", u"\n\n", u"*", u"**", u"_", u"`", u"~~", u"#", u"## ", u"> ",
        u"```\n", u"```js\n", u"~~~\n", u"\n```\n", u"    ", u"\t", u"- ", u"1. ", u"* [ ] ", u"- [x] ",
        u"| a | b |\n| --- | :-: |\n| 1 | 2 |\n", u"| c |", u"|", u"---\n", u"===\n", u"> [!NOTE]\n> text\n",
        u"> [!WARNING]\n", u"[^1]", u"[^1]: a note\n", u"\n[^n]: more\n    indented\n", u"[ref]", u"[ref]: https://x.y\n",
        u"[a][ref]", u"![pic](images/none.png)", u"\n![alt](x.png)\n", u":smile:", u":+1: ", u"`#ff0000`",
        u"<sub>s</sub>", u"https://example.com ", u"<!-- c -->", u"\\", u"  \n", u"\r\n", u"\U0001F600",
        u"1) ", u"  - ", u"[link](https://a.b)", u"$", u"<details>\n", u"</details>\n"};
    return pieces;
}

// One random edit: typing, deleting or pasting a fragment at a random place.
// Returns what it did.
inline std::string randomEdit(Editor& e, std::mt19937& rng)
{
    MarkdownTextView& view = e.view();
    const int n = view.textStorage()->length();
    auto pick = [&](int bound) { return bound <= 0 ? 0 : int(rng() % unsigned(bound)); };
    const int at = pick(n + 1);
    std::string done;
    switch (pick(10)) {
    case 0:
    case 1:
    case 2: {  // a few characters typed one by one at one place
        view.setSelectedRange({at, 0});
        const char16_t* letters = u"ab #*_`|-:>[]!\n";
        done = "typed at " + std::to_string(at) + ":";
        for (int i = pick(4) + 1; i > 0; --i) {
            const U16String typed(1, letters[pick(15)]);
            done += " " + u8(typed);
            view.insertText(typed);
        }
        break;
    }
    case 3:
    case 4: {  // deleting backwards, a character or a run
        view.setSelectedRange({at, 0});
        done = "deleted back from " + std::to_string(at);
        for (int i = pick(3) + 1; i > 0; --i)
            view.doCommand(TextCommand{TextCommand::deleteBackward, false});
        break;
    }
    case 5: {  // a selection deleted
        const int length = std::min(n - at, pick(200) + 1);
        view.setSelectedRange({at, length});
        done = "deleted " + std::to_string(at) + "+" + std::to_string(length);
        view.doCommand(TextCommand{TextCommand::deleteBackward, false});
        break;
    }
    case 6: {  // a line start: structure typed where it matters
        const Range line = lineRange(view.string(), {std::min(at, n), 0});
        view.setSelectedRange({line.location, 0});
        const U16String& piece = fragments()[size_t(pick(int(fragments().size())))];
        done = "typed at line start " + std::to_string(line.location) + ": " + u8(piece);
        view.insertText(piece);
        break;
    }
    default: {  // a fragment pasted over a short selection
        const int length = std::min(n - at, pick(3) == 0 ? pick(40) : 0);
        const U16String& piece = fragments()[size_t(pick(int(fragments().size())))];
        done = "pasted over " + std::to_string(at) + "+" + std::to_string(length) + ": " + u8(piece);
        view.setSelectedRange({at, length});
        view.insertText(piece);
        break;
    }
    }
    // The caret moves now and then without an edit.
    if (pick(4) == 0) {
        const int caret = pick(view.textStorage()->length() + 1);
        done += "; caret to " + std::to_string(caret);
        view.setSelectedRange({caret, 0});
    }
    return done;
}

// The difference between the editor and a fresh one restyling a copy of its
// storage (grids are kept as they are: they are not made again from the text), or empty.
inline std::string compareWithFresh(Editor& e)
{
    if (const U16String markdown = TableGrid::serialize(e.storage()); *e.document != markdown) {
        const U16String& written = *e.document;
        size_t at = 0;
        while (at < written.size() && at < markdown.size() && written[at] == markdown[at])
            ++at;
        const size_t from = at < 40 ? 0 : at - 40;
        return "the document's text parts from the storage's Markdown at " + std::to_string(at) + ": \""
            + u8(U16View(written).substr(from, 80)) + "\" instead of \"" + u8(U16View(markdown).substr(from, 80)) + "\"";
    }
    Editor fresh(*e.document, e.view().selectedRange(), &e.storage());
    if (const std::string d = storageDifference(e.storage(), fresh.storage()); !d.empty())
        return "storage: " + d;
    if (const std::string d = panelDifference(e.storage(), fresh.storage()); !d.empty())
        return d;
    return layoutDifference(*e.view().layoutManager(), *fresh.view().layoutManager(), e.view().string());
}

// The difference between `storage` and that of an editor opened on `document` anew, its tables made
// grids again from the text (as a restyle does not), or empty.
inline std::string compareWithOpened(const AttributedString& storage, const U16String& document)
{
    const Editor opened(document);
    return storageDifference(storage, opened.storage());
}

// Runs `edits` random edits over `text`, comparing after every `every` edits.
// Returns the first difference with the edit it followed, or empty.
inline std::string run(U16View text, unsigned seed, int edits, int every = 1)
{
    Editor e(text);
    std::mt19937 rng(seed);
    for (int i = 1; i <= edits; ++i) {
        const std::string done = randomEdit(e, rng);
        e.view().layoutDocument();
        if (i % every != 0 && i != edits)
            continue;
        if (std::string d = compareWithFresh(e); !d.empty())
            return "after edit " + std::to_string(i) + " (" + done + "): " + d;
    }
    return {};
}

} // namespace velkin::differential
