#include "export/Export.h"

#include "export/OutputBudget.h"
#include "export/PageImport.h"
#include "markdown/ImageBlock.h"
#include "platform/MachineMemory.h"
#include "platform/FilePath.h"
#include "platform/OutputFile.h"
#include "platform/graphics/PictureFile.h"
#include "platform/regex/Regex.h"
#include "platform/richtext/PDFPage.h"
#include "platform/richtext/RichTextImport.h"
#include "platform/richtext/RichTextWriter.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <QTextDocument>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#include <sys/stat.h>

namespace velkin {

namespace fs = std::filesystem;

std::optional<ExportFormat> ExportFormat::fromRawValue(int raw)
{
    switch (raw) {
    case pdf: return ExportFormat(pdf);
    case html: return ExportFormat(html);
    case rtf: return ExportFormat(rtf);
    default: return std::nullopt;
    }
}

std::optional<ExportFormat> ExportFormat::named(std::string_view name)
{
    std::string lower(name);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
    if (lower == "pdf")
        return ExportFormat(pdf);
    if (lower == "html" || lower == "htm")
        return ExportFormat(html);
    if (lower == "rtf")
        return ExportFormat(rtf);
    return std::nullopt;
}

const char* ExportFormat::fileExtension() const
{
    switch (value_) {
    case pdf: return "pdf";
    case html: return "html";
    case rtf: return "rtf";
    }
    return "html";
}

namespace Export {

namespace {

std::string couldNotSave(const fs::path& to, const std::string& reason)
{
    return "The file \u201C" + FilePath::shownName(to) + "\u201D couldn\u2019t be saved: " + reason + ".";
}

// The page as UTF-8, quick over ASCII; a lone surrogate becomes U+FFFD.
// True when the four units at p are all ASCII.
bool asciiBlock(const char16_t* p)
{
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return (word & 0xFF80FF80FF80FF80ULL) == 0;
}

std::string utf8(U16View text)
{
    const size_t n = text.size();
    const char16_t* p = text.data();
    size_t size = 0;
    for (size_t k = 0; k < n;) {
        if (k + 4 <= n && asciiBlock(p + k)) {
            size += 4;
            k += 4;
            continue;
        }
        const char16_t c = p[k++];
        if (c < 0x80)
            size += 1;
        else if (c < 0x800)
            size += 2;
        else if (isHighSurrogate(c) && k < n && isLowSurrogate(p[k])) {
            size += 4;
            ++k;
        } else
            size += 3;
    }
    std::string out(size, '\0');
    char* o = out.data();
    for (size_t k = 0; k < n;) {
        if (k + 4 <= n && asciiBlock(p + k)) {
            o[0] = char(p[k]);
            o[1] = char(p[k + 1]);
            o[2] = char(p[k + 2]);
            o[3] = char(p[k + 3]);
            o += 4;
            k += 4;
            continue;
        }
        char32_t c = p[k++];
        if (c < 0x80) {
            *o++ = char(c);
        } else if (c < 0x800) {
            *o++ = char(0xC0 | (c >> 6));
            *o++ = char(0x80 | (c & 0x3F));
        } else if (isHighSurrogate(char16_t(c)) && k < n && isLowSurrogate(p[k])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (p[k++] - 0xDC00);
            *o++ = char(0xF0 | (c >> 18));
            *o++ = char(0x80 | ((c >> 12) & 0x3F));
            *o++ = char(0x80 | ((c >> 6) & 0x3F));
            *o++ = char(0x80 | (c & 0x3F));
        } else {
            if (isSurrogate(char16_t(c)))
                c = 0xFFFD;
            *o++ = char(0xE0 | (c >> 12));
            *o++ = char(0x80 | ((c >> 6) & 0x3F));
            *o++ = char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The whole file or none: a failed write leaves an existing file as it was.
// `write` gives the reason it failed, if it did.
std::optional<std::string> writeFile(const fs::path& to, const OutputFile::Writer& write)
{
    if (auto failure = OutputFile::writeWhole(to, write))
        return couldNotSave(to, *failure);
    return std::nullopt;
}

bool writeAll(QIODevice& device, const char* data, size_t size)
{
    return device.write(data, qint64(size)) == qint64(size);
}

// The text in UTF-8, a piece at a time: a long page's UTF-8 need not be held whole.
bool writeText(QIODevice& device, U16View text)
{
    constexpr size_t kPiece = size_t(1) << 20;
    while (!text.empty()) {
        size_t n = std::min(text.size(), kPiece);
        // A surrogate pair stays in one piece.
        if (n < text.size() && isHighSurrogate(text[n - 1]))
            ++n;
        const std::string bytes = utf8(text.substr(0, n));
        if (!writeAll(device, bytes.data(), bytes.size()))
            return false;
        text.remove_prefix(n);
    }
    return true;
}

// A picture's file read again now, the whole file or an error: it must still
// be the file the page was made with.
std::optional<std::string> readPicture(const MarkdownHTML::PageApart::Picture& picture, QByteArray& data)
{
    std::optional<QByteArray> read = PictureFile::readRegularFile(picture.path, (long long)PictureFile::maximumBytes);
    if (!read || read->size() != picture.bytes)
        return "the picture \u201C" + fs::path(picture.path).filename().string() + "\u201D changed while it was exported";
    data = std::move(*read);
    return std::nullopt;
}

// The file's data in base64, a piece at a time.
bool writeBase64(QIODevice& device, const QByteArray& data)
{
    // Whole groups of three bytes encode alone as they do within the whole.
    constexpr qsizetype kPiece = 3 << 16;
    for (qsizetype at = 0; at < data.size(); at += kPiece) {
        const QByteArray encoded = data.mid(at, kPiece).toBase64();
        if (!writeAll(device, encoded.constData(), size_t(encoded.size())))
            return false;
    }
    return true;
}

// The page with each picture set apart put in where its mark stands, so that
// only one picture's data is held at a time, but for a picture shown again
// further on: its base64 is kept, within kKeptPictures, until its last use,
// so that each file is read and encoded once.
std::optional<std::string> writePage(QIODevice& device, const MarkdownHTML::PageApart& page)
{
    constexpr char16_t mark = MarkdownHTML::PageApart::kPictureMark;
    constexpr long long kKeptPictures = 64LL << 20;
    const U16View text(page.text);
    // Each mark's picture, in page order.
    std::vector<std::pair<size_t, size_t>> marks;  // (where, end)
    std::vector<size_t> indices;
    for (size_t at = page.pictures.empty() ? U16View::npos : text.find(mark); at != U16View::npos;
         at = text.find(mark, marks.back().second + 1)) {
        const size_t end = text.find(mark, at + 1);
        if (end == U16View::npos)
            break;
        size_t index = 0;
        for (size_t k = at + 1; k < end; ++k)
            index = index * 10 + size_t(text[k] - u'0');
        marks.emplace_back(at, end);
        indices.push_back(index);
    }
    std::vector<int> usesLeft(page.pictures.size(), 0);
    for (const size_t index : indices)
        if (index < usesLeft.size())
            ++usesLeft[index];
    std::unordered_map<size_t, QByteArray> kept;  // base64 by picture
    long long keptBytes = 0;
    size_t pos = 0;
    for (size_t m = 0; m < marks.size(); ++m) {
        const auto [at, end] = marks[m];
        const size_t index = indices[m];
        if (!writeText(device, text.substr(pos, at - pos)))
            return "the disk refused the data";
        if (index >= page.pictures.size())
            return "the page lost one of its pictures";
        pos = end + 1;
        --usesLeft[index];
        if (const auto found = kept.find(index); found != kept.end()) {
            if (!writeAll(device, found->second.constData(), size_t(found->second.size())))
                return "the disk refused the data";
            if (usesLeft[index] == 0) {
                keptBytes -= found->second.size();
                kept.erase(found);
            }
            continue;
        }
        QByteArray data;
        if (auto failure = readPicture(page.pictures[index], data))
            return failure;
        const long long encodedSize = (data.size() + 2) / 3 * 4;
        if (usesLeft[index] > 0 && keptBytes + encodedSize <= kKeptPictures) {
            QByteArray encoded = data.toBase64();
            data = QByteArray();
            if (!writeAll(device, encoded.constData(), size_t(encoded.size())))
                return "the disk refused the data";
            keptBytes += encoded.size();
            kept.emplace(index, std::move(encoded));
        } else if (!writeBase64(device, data)) {
            return "the disk refused the data";
        }
    }
    if (!writeText(device, text.substr(pos)))
        return "the disk refused the data";
    return std::nullopt;
}

QSizeF printedSize(QSizeF picture)
{
    return ImageBlock::displaySize(picture, 468);
}

// The imported page with its pictures fitted to the printable width; pictures
// past the budget show as the placeholder of a picture that failed to load.
// The pictures are held compressed and decoded as they are printed or written.
std::unique_ptr<QTextDocument> importFitted(U16View page, std::string* notice, bool forPrint = false)
{
    RichTextImport::Pictures pictures;
    pictures.drawnSize = printedSize;
    pictures.budget = pictureBudget;
    // Drawn only for a page that shows pictures at all.
    if (TextOps::find(page, u"<img src=\"") >= 0)
        pictures.placeholder = ImageBlock::placeholderImage(u"", true, ImageBlock::displaySize(nullptr, 468),
                                                            Appearance::Light, RichTextImport::Pictures::kPixelsPerPoint);
    auto document = PageImport::load(page, &pictures, false, forPrint);
    fitPictures(*document);
    if (notice && pictures.leftOut > 0)
        *notice = std::to_string(pictures.leftOut) + (pictures.leftOut == 1 ? " picture was" : " pictures were")
                  + " left out: the pictures together need more memory than an export may use.";
    if (notice && pictures.tooLarge > 0)
        *notice += (notice->empty() ? "" : " ") + std::to_string(pictures.tooLarge)
                   + (pictures.tooLarge == 1 ? " picture was left out: its file is" : " pictures were left out: their files are")
                   + " larger than " + std::to_string(PictureFile::maximumBytes >> 20) + " MB.";
    return document;
}

// Names, in `notice`, the pictures whose files hold no picture this program
// can read; past a score, the rest are counted.
void noteUnreadable(const std::vector<U16String>& addresses, std::string* notice)
{
    constexpr size_t kNamed = 20;
    if (!notice || addresses.empty())
        return;
    std::string names;
    for (size_t k = 0; k < addresses.size() && k < kNamed; ++k)
        names += (k > 0 ? ", \u201C" : "\u201C") + u8(addresses[k]) + "\u201D";
    if (addresses.size() > kNamed)
        names += " and " + std::to_string(addresses.size() - kNamed) + " more";
    *notice += (notice->empty() ? "" : " ") + std::to_string(addresses.size())
               + (addresses.size() == 1 ? " picture could not be read: " : " pictures could not be read: ") + names + ".";
}

} // namespace

void fitPictures(QTextDocument& document)
{
    RichTextImport::resizePictures(document, printedSize);
}

namespace {

std::optional<QByteArray> richTextOf(const QTextDocument& document, std::string* error)
{
    QByteArray data = RichTextWriter::write(document);
    if (data.isEmpty()) {
        if (error)
            *error = "The rich text could not be made.";
        return std::nullopt;
    }
    return data;
}

std::optional<std::string> printed(QTextDocument& document, const fs::path& to)
{
    PDFPage::drawEmojiAsPictures(document);
    return PDFPage::write(document, to);
}

// The page imported, and let go before the document is written or laid out in pages.
std::unique_ptr<QTextDocument> importReleasing(U16String page, std::string* notice, bool forPrint)
{
    auto document = importFitted(page, notice, forPrint);
    U16String().swap(page);
    return document;
}

} // namespace

std::optional<QByteArray> richText(U16View page, std::string* error, std::string* notice)
{
    return richTextOf(*importFitted(page, notice), error);
}

std::optional<std::string> printPDF(U16View page, const fs::path& to, std::string* notice)
{
    return printed(*importFitted(page, notice, true), to);
}

std::optional<std::string> outputRefusal(const std::string& in, const std::string& out)
{
    struct stat target {};
    if (::stat(out.c_str(), &target) != 0)
        return std::nullopt;  // a new name, or one the writing will report on
    if (!in.empty() && FilePath::sameFile(in, out))
        return std::string("the output is the input file itself");
    if (!S_ISREG(target.st_mode) && !S_ISDIR(target.st_mode))
        return std::string("the output is not a regular file");
    return std::nullopt;
}

std::optional<std::string> write(U16View markdown, const fs::path& to, ExportFormat format,
                                 const MarkdownHTML::Options& options, std::string* notice)
{
    // A pattern search that gave up would have left text out of the page unnoticed.
    const unsigned long abandoned = Regex::abandonedSearches();
    // PDF and RTF read the pictures from their files as they import the page.
    MarkdownHTML::Options pageOptions = options;
    pageOptions.picturesByPath = format.value() != ExportFormat::html;
    if (format.value() == ExportFormat::html) {
        // Each picture's data is read and written as the page is: only one is held at a time.
        const MarkdownHTML::PageApart page = MarkdownHTML::documentApart(markdown, pageOptions);
        if (Regex::abandonedSearches() != abandoned)
            return couldNotSave(to, "a part of the document took too long to read");
        noteUnreadable(page.unreadable, notice);
        return writeFile(to, [&](QIODevice& device) { return writePage(device, page); });
    }
    std::vector<U16String> unreadable;
    U16String page = MarkdownHTML::document(markdown, pageOptions, &unreadable);
    if (Regex::abandonedSearches() != abandoned)
        return couldNotSave(to, "a part of the document took too long to read");
    // Qt's importer cannot survive running out of memory: a page whose tables
    // would take more than there is goes no further.
    if (auto refusal = OutputBudget::tableRefusal(
            format.value() == ExportFormat::rtf ? OutputBudget::Output::rtf : OutputBudget::Output::pdf,
            markdown.size(), OutputBudget::tableCells(page), MachineMemory::available()))
        return refusal;
    switch (format.value()) {
    case ExportFormat::html:
        break;  // written above, its pictures one at a time
    case ExportFormat::rtf: {
        const auto document = importReleasing(std::move(page), notice, false);
        noteUnreadable(unreadable, notice);
        // Written as it is made: a long document's RTF need not be held whole.
        return writeFile(to, [&](QIODevice& device) {
            return RichTextWriter::write(*document, device) ? std::nullopt
                                                            : std::optional<std::string>("the disk refused the data");
        });
    }
    case ExportFormat::pdf: {
        const auto document = importReleasing(std::move(page), notice, true);
        noteUnreadable(unreadable, notice);
        return printed(*document, to);
    }
    }
    return std::nullopt;
}

} // namespace Export

} // namespace velkin
