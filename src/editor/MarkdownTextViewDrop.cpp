// Pictures dragged or pasted into the editor become image lines, their files
// stored beside the document; a selection that touches a grid copies as the text of
// its cell, as row text or as Markdown tables (GridClipboard).
#include "document/ImageInsertion.h"
#include "editor/GridClipboard.h"
#include "export/OutputBudget.h"
#include "editor/GridEdges.h"
#include "editor/MarkdownEditing.h"
#include "editor/MarkdownTextView.h"
#include "markdown/ImageBlock.h"
#include "markdown/PipeTable.h"
#include "markdown/TableGrid.h"
#include "platform/FilePath.h"
#include "platform/MachineMemory.h"
#include "platform/graphics/PictureFile.h"
#include "platform/graphics/PngWriter.h"
#include "platform/pasteboard/Pasteboard.h"
#include "platform/strings/LocalizedStrings.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"
#include "platform/undo/UndoManager.h"

#include <QApplication>
#include <QBuffer>
#include <QImageReader>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <cctype>

namespace velkin {

namespace {

// The local image files of a payload, in its order.
std::vector<std::string> imageFiles(const QMimeData& mime)
{
    std::vector<std::string> files;
    if (!mime.hasUrls())
        return files;
    for (const std::filesystem::path& file : FilePath::localFiles(mime.data(QStringLiteral("text/uri-list")))) {
        const std::string path = file.string();
        const U16String extension = TextOps::lowercased(u16(Url::fileURL(path).pathExtension()));
        if (ImageInsertion::imageExtensions().count(extension))
            files.push_back(path);
    }
    return files;
}

// The stored file a Markdown path beside the document names.
std::filesystem::path storedFile(const std::optional<Url>& document, U16View path)
{
    return std::filesystem::path(document->path()).parent_path() / u8(path);
}

// Whether a payload carries text of its own. File managers put the copied files'
// paths beside their addresses: that is no text, it names the files.
bool carriesText(const QMimeData& mime)
{
    if (!mime.hasFormat(QStringLiteral("text/plain")))
        return false;
    if (!mime.hasUrls())
        return true;
    QStringList names;
    for (const QUrl& url : mime.urls())
        names << url.toLocalFile() << url.toString();
    const QStringList lines = mime.text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines)
        if (!names.contains(line.trimmed()))
            return true;
    return false;
}

// The pixel size a picture on the board declares when it is past what decoding
// may allocate (four bytes a pixel), read from its header alone.
std::optional<QSize> undecodableSize(const QMimeData& mime)
{
    for (const QString& format : mime.formats()) {
        if (!format.startsWith(QLatin1String("image/")))
            continue;
        QByteArray bytes = mime.data(format);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        const QSize size = reader.size();
        if (size.isValid() && qint64(size.width()) * size.height() * 4 > qint64(PictureFile::decodeLimitMegabytes) << 20)
            return size;
    }
    return std::nullopt;
}

} // namespace

bool MarkdownTextView::pasteboardHasImage(const QMimeData& mime) const
{
    return !imageFiles(mime).empty() || mime.hasImage();
}

MarkdownTextView::ImageDrop MarkdownTextView::imageMarkdown(const QMimeData& mime)
{
    const std::optional<Url> document = documentURL();
    const std::vector<std::string> files = imageFiles(mime);
    if (!files.empty()) {
        // The first picture file is taken; the others are left alone.
        const Url file = Url::fileURL(files.front());
        if (const auto relative = ImageInsertion::relativePath(file, document)) {
            if (const auto line = ImageInsertion::imageLine(*relative))
                return {ImageDrop::Kind::markdown, *line, std::nullopt};
            return {ImageDrop::Kind::failed, {}, std::nullopt};
        }
        if (!ImageInsertion::imageLine(u"images/" + u16(file.lastPathComponent())))
            return {ImageDrop::Kind::failed, {}, std::nullopt};  // checked before anything is copied
        ImageInsertion::Failure failure;
        if (const auto copied = ImageInsertion::copyBesideDocument(file, document, &failure)) {
            if (const auto line = ImageInsertion::imageLine(*copied))
                return {ImageDrop::Kind::markdown, *line, storedFile(document, *copied)};
            std::error_code ignored;
            std::filesystem::remove(storedFile(document, *copied), ignored);
            return {ImageDrop::Kind::failed, {}, std::nullopt};
        }
        return refuse(document, failure.file, failure.reason);
    }
    if (!mime.hasImage())
        return {};
    const QImage image = qvariant_cast<QImage>(mime.imageData());
    if (image.isNull()) {
        // Left undecoded for its size: said so, with the size.
        if (const std::optional<QSize> size = undecodableSize(mime)) {
            alert(LocalizedStrings::text(u"imageTooLargeTitle", u"The Picture Is Too Large"),
                  LocalizedStrings::format(LocalizedStrings::text(u"imageTooLargeMessage",
                                                                  u"The picture is %1$lld \u00D7 %2$lld pixels, more "
                                                                  u"than Velkin can decode (at most %3$lld million pixels)."),
                                           {(long long)size->width(), (long long)size->height(),
                                            (long long)(PictureFile::decodeLimitMegabytes << 20) / 4 / 1000000}),
                  true);
            return {ImageDrop::Kind::refused, {}, std::nullopt};
        }
        return {};
    }
    const std::optional<QByteArray> png = PngWriter::encode(image);
    if (!png)
        return {};
    ImageInsertion::Failure failure;
    if (const auto path = ImageInsertion::materialize(*png, u"png", document, &failure)) {
        if (const auto line = ImageInsertion::imageLine(*path))
            return {ImageDrop::Kind::markdown, *line, storedFile(document, *path)};
        std::error_code ignored;
        std::filesystem::remove(storedFile(document, *path), ignored);
        return {ImageDrop::Kind::failed, {}, std::nullopt};
    }
    return refuse(document, failure.file, failure.reason);
}

MarkdownTextView::ImageDrop MarkdownTextView::refuse(const std::optional<Url>& document, const std::string& file,
                                                     const std::string& reason)
{
    const bool unsaved = !document;
    const U16String title = unsaved
        ? LocalizedStrings::text(u"imageNeedsSavedDocumentTitle", u"Save the Document First")
        : LocalizedStrings::text(u"imageWriteFailedTitle", u"The Picture Couldn't Be Saved");
    const U16String message = unsaved
        ? LocalizedStrings::text(u"imageNeedsSavedDocumentMessage",
                                 u"Velkin keeps pictures in an \u201Cimages\u201D folder beside the document, so this "
                                 u"document needs a place on disk before it can hold one. Save it, then add the "
                                 u"picture again.")
        : LocalizedStrings::format(LocalizedStrings::text(u"imageWriteFailedMessage",
                                                          u"The picture \u201C%1$@\u201D couldn't be written to the "
                                                          u"\u201Cimages\u201D folder beside this document: %2$@."),
                                   {u16(file), u16(reason)});
    alert(title, message, !unsaved);
    return {ImageDrop::Kind::refused, {}, std::nullopt};
}

void MarkdownTextView::alert(const U16String& title, const U16String& message, bool warning)
{
    if (showAlert) {
        showAlert(title, message, warning);
        return;
    }
    auto* box = new QMessageBox(warning ? QMessageBox::Warning : QMessageBox::Information, QString::fromStdU16String(title),
                                QString::fromStdU16String(message), QMessageBox::NoButton,
                                isInWindow() ? window() : nullptr);
    box->addButton(QString::fromStdU16String(LocalizedStrings::text(u"OK", u"OK")), QMessageBox::AcceptRole);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (isInWindow()) {
        box->setWindowModality(Qt::WindowModal);
        box->open();
    } else {
        box->exec();
    }
}

bool MarkdownTextView::insertImageBlock(U16View line, int index)
{
    TextStorage* storage = textStorage();
    if (!storage || !ImageBlock::parseBlockImage(line))
        return false;
    int position = std::clamp(index, 0, storage->length());
    // In code a picture line would be code: it goes below the code block, as a table does.
    const std::optional<std::pair<int, Range>> below = MarkdownEditing::belowCode(string(), position);
    if (!below)
        return false;
    if (below->first != position || below->second != lineRange(string(), Range{position, 0})) {
        // Below the code, apart from it, after the leader of the item or quotation the code is in.
        const U16String& eol = lineEnding();
        const MarkdownEditing::BlockPlacement place = MarkdownEditing::blockPlacement(string(), below->first, below->second, eol);
        TextEdit edit = MarkdownEditing::placingLines(place, line, eol);
        edit.selection = Range{edit.range.location + int(edit.replacement.size() - place.after.size())
                                   - (place.lastLineEnd ? int(eol.size()) : 0), 0};
        if (!replaceCharacters(edit.range, edit.replacement, edit.selection))
            return false;
        scrollRangeToVisible(selectedRange());
        return true;
    }
    // A picture line cannot live in a table cell: it goes after the grid.
    bool afterGrid = false;
    if (const std::optional<Grid> grid = tableBlock(position) ? gridAt(position) : std::nullopt) {
        position = grid->range.end();
        afterGrid = true;
    }
    const int lineStart = lineContentRange(string(), position).location;
    if (afterGrid || (lineStart > 0 && tableBlock(lineStart - 1))) {
        // After a grid, or on the line right under one: a blank line apart from it, indented
        // as its rows are (a table in a list item keeps the picture in the item).
        const TextTableBlock* block = TableGrid::cellBlock(*storage, afterGrid ? position - 1 : lineStart - 1);
        const auto* table = block ? dynamic_cast<const TableGrid::SourceTable*>(block->table().get()) : nullptr;
        const U16String inserted = breaksBefore(position) + (table ? table->leader : U16String()) + U16String(line)
            + lineEnding();
        const int newLength = storage->length() + int(inserted.size());
        if (!replaceCharacters({position, 0}, inserted, Range{std::min(newLength, position + int(inserted.size())), 0}))
            return false;
    } else {
        // In a quotation or a list item the picture takes the leader of the line it goes into.
        const ImageInsertion::Placement placed = ImageInsertion::placement(string(), position, line, lineEnding());
        if (!replaceCharacters(placed.range, placed.replacement, Range{placed.caret, 0}))
            return false;
    }
    scrollRangeToVisible(selectedRange());
    return true;
}

bool MarkdownTextView::insertImageDrop(const ImageDrop& drop, int index)
{
    if (drop.kind == ImageDrop::Kind::markdown && insertImageBlock(drop.text, index))
        return true;
    if (drop.storedFile) {
        std::error_code ignored;
        std::filesystem::remove(*drop.storedFile, ignored);
    }
    return false;
}

bool MarkdownTextView::canAcceptDrop(const QMimeData& mime) const
{
    return (isEditable() && pasteboardHasImage(mime)) || TextView::canAcceptDrop(mime);
}

bool MarkdownTextView::performDrop(const QMimeData& mime, int index)
{
    bool taken = false;
    takeWithinMemory(&mime, [&] { taken = performDropWithinMemory(mime, index); });
    return taken;
}

bool MarkdownTextView::performDropWithinMemory(const QMimeData& mime, int index)
{
    if (!isEditable())
        return false;
    const ImageDrop drop = imageMarkdown(mime);
    switch (drop.kind) {
    case ImageDrop::Kind::refused:
        return true;
    case ImageDrop::Kind::none:
        if (canAcceptDrop(mime) && mime.hasText() && !mime.text().isEmpty()) {
            // Dropped text goes where pasted text goes, rows of a grid dragged from a window of this
            // program as those rows copied and pasted go.
            const U16String dropped = mime.text().toStdU16String();
            const QString rowsType = QString::fromLatin1(GridClipboard::rowsType);
            const QString tablesType = QString::fromLatin1(GridClipboard::tablesType);
            const bool rows = mime.hasFormat(rowsType) && QString::fromUtf8(mime.data(rowsType)).toStdU16String() == dropped;
            std::optional<U16String> tables;
            if (mime.hasFormat(tablesType))
                tables = QString::fromUtf8(mime.data(tablesType)).toStdU16String();
            setSelectedRange(Range{std::clamp(index, 0, textStorage()->length()), 0});
            pasteText(PastedText{dropped, rows, std::move(tables)});
            return true;
        }
        return TextView::performDrop(mime, index);
    case ImageDrop::Kind::failed:
        break;
    case ImageDrop::Kind::markdown:
        if (insertImageDrop(drop, index))
            return true;
        break;
    }
    // Nothing went in: the drop fails, and says so.
    QApplication::beep();
    return false;
}

void MarkdownTextView::paste()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    takeWithinMemory(clipboard ? clipboard->mimeData() : nullptr, [this] { pasteWithinMemory(); });
}

bool MarkdownTextView::takeWithinMemory(const QMimeData* mime, const std::function<void()>& take)
{
    const U16String title = LocalizedStrings::text(u"pasteTooLargeTitle", u"The Text Couldn't Be Pasted");
    try {
        if (mime && isEditable()) {
            if (const std::optional<std::string> refusal = textRefusal(*mime)) {
                alert(title, u16(*refusal), true);
                return false;
            }
        }
        take();
        return true;
    } catch (const std::bad_alloc&) {
        alert(title, LocalizedStrings::text(u"pasteNoMemory", u"There was not enough memory to paste the text."), true);
        return false;
    }
}

std::optional<std::string> MarkdownTextView::textRefusal(const QMimeData& mime)
{
    // The text a paste or drop takes: the plain text, else the HTML it is read from.
    for (const char* type : {Pasteboard::stringType, Pasteboard::htmlType}) {
        const QString name = QString::fromLatin1(type);
        if (!mime.hasFormat(name))
            continue;
        std::optional<std::string> refusal = OutputBudget::refusal(
            OutputBudget::Output::paste, uint64_t(mime.data(name).size()), MachineMemory::atHand());
        if (refusal) {
            (*refusal)[0] = char(std::toupper((unsigned char)(*refusal)[0]));
            *refusal += '.';
        }
        return refusal;
    }
    return std::nullopt;
}

void MarkdownTextView::pasteWithinMemory()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* mime = clipboard ? clipboard->mimeData() : nullptr;
    if (!mime || !isEditable() || carriesText(*mime)) {
        pasteText();
        return;
    }
    const ImageDrop drop = imageMarkdown(*mime);
    switch (drop.kind) {
    case ImageDrop::Kind::markdown:
        if (!insertImageDrop(drop, selectedRange().location))
            QApplication::beep();
        break;
    case ImageDrop::Kind::failed:
        QApplication::beep();
        break;
    case ImageDrop::Kind::refused:
        break;
    case ImageDrop::Kind::none:
        // A board of HTML alone (as browsers and office programs offer) pastes its text as plain text.
        if (mime->hasFormat(QString::fromLatin1(Pasteboard::stringType)))
            TextView::paste();
        else
            pasteText();
        break;
    }
}

void MarkdownTextView::pasteText()
{
    const Pasteboard& board = Pasteboard::general();
    const std::optional<U16String> text = isEditable() ? board.plainText() : std::nullopt;
    if (!text || text->empty()) {
        TextView::paste();
        return;
    }
    pasteText(PastedText{*text, board.string(GridClipboard::rowsType) == text, board.string(GridClipboard::tablesType)});
}

namespace {

// Whether pasted text holds a pipe table: a delimiter row among its lines.
bool holdsTable(U16View text)
{
    const U16String lines = TextOps::withLineEnds(text, u"\n");
    for (const U16View line : splitAt(lines, u'\n'))
        if (PipeTable::isDelimiterRow(line))
            return true;
    return false;
}

} // namespace

void MarkdownTextView::pasteText(const PastedText& pasted)
{
    // Text pasted over a grid's edge, or right under a grid, takes the grid's road.
    const Range selection = selectedRange();
    if (!hasMarkedText() && pasteGridText(pasted, selection))
        return;
    // Rows of a grid copied here go anywhere else as the tables they make, without the indent of the
    // list item they come from: they take the place's own (where they would otherwise read as code).
    const bool asTables = pasted.rows && pasted.tables && !inCell(selection.location);
    const U16String text = asTables ? MarkdownEditing::withoutCommonIndent(TextOps::withLineEnds(*pasted.tables, u"\n"), u"\n")
                                    : pasted.text;
    if (!hasMarkedText() && selection.length > 0 && selection.length < textStorage()->length() && holdsTable(text)
        && crossesGridEdge(selection, u"")) {
        // A table goes where the selection, taken out cell by cell, leaves the caret: apart from the
        // text around it there as anywhere else, never glued to the line below.
        pasteOverRemoval(PastedText{text, false, std::nullopt}, selection);
        return;
    }
    if (!hasMarkedText() && replaceAtGridEdge(selection, TextOps::withLineEnds(text, lineEnding()), false))
        return;
    if (insertTableApart(selection, text))
        return;
    pasteString(text);
}

void MarkdownTextView::pasteOverRemoval(const PastedText& pasted, Range selection)
{
    UndoManager* undo = allowsUndo() ? undoManager() : nullptr;
    if (undo)
        undo->beginUndoGrouping();
    endJoiningUndo();
    if (!replaceAtGridEdge(selection, u"", false))
        replaceText(selection, AttributedString(), Range{selection.location, 0});
    if (selectedRange().length == 0)
        pasteText(pasted);
    if (undo)
        undo->endUndoGrouping();
}

bool MarkdownTextView::pasteGridText(const PastedText& pasted, Range selection)
{
    TextStorage* storage = textStorage();
    const U16String& text = pasted.text;
    // Cut, then Paste where the cut left the caret: what was cut stands there again, as it stood.
    if (cutRecord_ && selection == Range{cutRecord_->caret, 0} && cutRecord_->changed.end() <= storage->length()
        && text == recordedClipboard(*cutRecord_)) {
        const CutRecord record = std::move(*cutRecord_);
        cutRecord_.reset();
        endJoiningUndo();
        // The text is the one the cut found again: its selection's end is the caret.
        const AttributedString before = record.before.attributedSubstring(record.replaced);
        replaceText(record.changed, before,
                    Range{std::min(record.end, storage->length() - record.changed.length + before.length()), 0});
        scrollRangeToVisible(selectedRange());
        return true;
    }
    // Over the selection it was copied from, the text is what stands there already.
    if (selection.length > 0 && selectionSpansGrid(selection) && text == copiedText(selection)) {
        setSelectedRange(Range{selection.end(), 0});
        scrollRangeToVisible(selectedRange());
        return true;
    }
    // Rows copied from a grid, pasted into one or right under one, go in cell by cell.
    if (!pasted.rows)
        return false;
    if (selection.length == 0) {
        const auto edit = GridClipboard::pastingRows(*storage, selection.location, text, gridBaseSize);
        if (!edit)
            return false;
        endJoiningUndo();
        replaceText(edit->range, edit->text, Range{edit->caret, 0});
        scrollRangeToVisible(selectedRange());
        return true;
    }
    // Over a selection that starts in a cell they go where its removal leaves the caret: one undo step.
    if (!inCell(selection.location))
        return false;
    pasteOverRemoval(pasted, selection);
    return true;
}

bool MarkdownTextView::insertTableApart(Range range, U16View text)
{
    if (text.empty() || hasMarkedText() || inCell(range.location))
        return false;
    // In a code block no table forms: the text goes in as it is, the code gaining no blank lines.
    const Range line = lineRange(string(), Range{range.location, 0});
    const TextStorage* storage = textStorage();
    if ((line.location < storage->length() && storage->attribute(AttributeKey::CodeBlockFill, line.location))
        || isFencedLine(line))
        return false;
    const U16String inserted = TextOps::withLineEnds(text, lineEnding());
    TextEdit edit = MarkdownEditing::paste(string(), range, inserted, lineEnding());
    if (edit.replacement.size() == inserted.size())
        return applyOpeningGrids(edit);
    // Over the selection it was copied from, the text is what stands there already.
    if (range.length > 0 && substring(string(), range) == U16View(inserted)) {
        setSelectedRange(Range{range.end(), 0});
        scrollRangeToVisible(selectedRange());
        return true;
    }
    const int n = storage->length();
    const int at = std::clamp(range.location, 0, n);
    const Range selected = Range::fromTo(at, std::clamp(range.end(), at, n));
    // A selection within one line goes first: the table is placed in the text without it.
    const U16View whole = string();
    const U16View taken = substring(whole, selected);
    if (taken.find_first_of(u"\n\r") == U16View::npos) {
        U16String kept;
        if (selected.length > 0) {
            kept = U16String(whole.substr(0, size_t(at)));
            kept += whole.substr(size_t(selected.end()));
        }
        const U16View base = selected.length > 0 ? U16View(kept) : whole;
        const bool lineEnd = at == int(base.size()) || base[size_t(at)] == u'\n' || base[size_t(at)] == u'\r';
        // At the end of a list item's or a quotation's line the table goes in as Insert ▸ Table
        // puts one there: its lines after the item's indent or the quote leaders. Within a line it
        // splits it so: the line's rest follows a blank line, after the same leader.
        const U16String& eol = lineEnding();
        const MarkdownEditing::BlockPlacement place = MarkdownEditing::blockPlacement(base, at, lineRange(base, Range{at, 0}), eol);
        if (!place.leader.empty() || !lineEnd) {
            U16View lines = inserted;
            if (lines.ends_with(eol))
                lines.remove_suffix(eol.size());
            // Rows copied from a table in an item bring its indent, which the leader stands for now.
            const U16String flush = place.leader.empty() ? U16String(lines) : MarkdownEditing::withoutCommonIndent(lines, eol);
            edit = MarkdownEditing::placingLines(place, flush, eol);
            // The caret goes where the line's rest now starts, or into the last cell of the table's
            // last row, before its closing pipe (after it, typing would make a cell of its own).
            const int closing = flush.ends_with(u" |") ? 2 : flush.ends_with(u"|") ? 1 : 0;
            const int end = edit.range.location + int(edit.replacement.size())
                - (lineEnd ? int(place.after.size()) + (place.lastLineEnd ? int(eol.size()) : 0) + closing : 0);
            edit.selection = Range{end, 0};
            // In the text as it stands: the selection goes, and the line break the table goes below with it.
            edit.replacement.insert(0, whole.substr(size_t(selected.end()), size_t(place.at - at)));
            edit.range = Range{at, selected.length + (place.at - at)};
        }
    }
    if (!applyOpeningGrids(edit))
        apply(edit);
    return true;
}

bool MarkdownTextView::applyOpeningGrids(const TextEdit& edit)
{
    if (GridEdges::gluesUnderGrid(*textStorage(), edit.range, edit.replacement))
        return false;
    const auto grids = GridClipboard::withOpenedGrids(*textStorage(), edit, gridBaseSize, attributesForInsertion(edit.range));
    if (!grids)
        return false;
    endJoiningUndo();
    if (replaceText(grids->range, grids->text, Range{grids->caret, 0}))
        scrollRangeToVisible(selectedRange());
    return true;
}

bool MarkdownTextView::selectionSpansGrid(Range range) const
{
    return GridEdges::holdsCells(*textStorage(), range);
}

U16String MarkdownTextView::copiedText(Range range, bool* partialGrid)
{
    // All of the text, unless it is one cell's, copies as the whole text's Markdown.
    const TextStorage& storage = *textStorage();
    const int n = storage.length();
    if (range == Range{0, n} && n > 0 && knownMarkdown
        && (!TableGrid::cellBlock(storage, 0) || TableGrid::cellBlock(storage, 0) != TableGrid::cellBlock(storage, n - 1)))
        if (std::optional<U16String> markdown = knownMarkdown()) {
            if (partialGrid)
                *partialGrid = false;
            return std::move(*markdown);
        }
    return GridClipboard::copiedText(storage, range, partialGrid);
}

bool MarkdownTextView::writeSelection(Pasteboard& pasteboard, const std::string& type)
{
    const std::vector<Range> ranges = selectedRanges();
    if (type != Pasteboard::stringType || !textStorage() || ranges.empty())
        return TextView::writeSelection(pasteboard, type);
    const bool grid = std::any_of(ranges.begin(), ranges.end(),
                                  [&](Range r) { return r.length > 0 && selectionSpansGrid(r); });
    if (!grid)
        return TextView::writeSelection(pasteboard, type);
    std::vector<U16String> pieces;
    bool rows = false;
    for (const Range& r : ranges) {
        bool partial = false;
        pieces.push_back(copiedText(r, &partial));
        rows = rows || partial;
    }
    const U16String text = TextOps::joined(pieces, u"\n");
    if (!pasteboard.setString(text, type))
        return false;
    // Rows of a grid are marked as such, for a paste into a grid; prose takes them as tables.
    if (rows) {
        pasteboard.setString(text, GridClipboard::rowsType);
        std::vector<U16String> tables;
        for (const Range& r : ranges)
            tables.push_back(GridClipboard::tablesText(*textStorage(), r));
        pasteboard.setString(TextOps::joined(tables, u"\n"), GridClipboard::tablesType);
    }
    return true;
}

} // namespace velkin
