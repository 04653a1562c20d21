#include "document/ImageInsertion.h"

#include "markdown/ImageBlock.h"
#include "markdown/MarkdownSyntax.h"
#include "platform/FileRead.h"
#include "platform/OutputFile.h"
#include "platform/graphics/PictureFile.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <algorithm>

#include <filesystem>

namespace velkin::ImageInsertion {

namespace fs = std::filesystem;

namespace {

std::optional<fs::path> documentPath(const std::optional<Url>& documentURL)
{
    if (!documentURL || !documentURL->isFileURL())
        return std::nullopt;
    const std::string local = documentURL->path();
    if (local.empty())
        return std::nullopt;
    return fs::path(local);
}

// A name as the Markdown text writes it: as it is where it is UTF-8, else with
// its other bytes (and "%") escaped, which the picture's reading takes back.
U16String fromPath(const fs::path& path)
{
    const std::string bytes = path.string();
    if (decodeUtf8Strict(bytes))
        return u16(bytes);
    return u16(Url::percentEncode(bytes, [](unsigned char c) { return c < 0x80 && c != '%'; }));
}

// A free file in the images folder: base.ext, else base-1.ext, base-2.ext and so on; and
// whether the folder was made for it.
struct Destination {
    fs::path file;
    bool madeFolder = false;
};

std::optional<Destination> destinationURL(const std::string& baseName, const std::string& extension,
                                          const std::optional<Url>& documentURL, Failure* failure)
{
    const auto document = documentPath(documentURL);
    if (!document)
        return std::nullopt;
    const fs::path folder = document->parent_path() / "images";
    const std::string base = baseName.empty() ? std::string("image") : baseName;
    std::error_code ec;
    const bool made = fs::create_directories(folder, ec) && !ec;
    if (ec) {
        // The folder's own reason (a read-only document folder), not the picture's missing folder.
        if (failure)
            *failure = {base + "." + extension, ec.message()};
        return std::nullopt;
    }
    fs::path candidate = folder / (base + "." + extension);
    for (long n = 1; fs::exists(fs::symlink_status(candidate, ec)); ++n)
        candidate = folder / (base + "-" + std::to_string(n) + "." + extension);
    return Destination{candidate, made};
}

// The picture's file in full, or none: a write cut short (a full disk, a file size
// limit) leaves no partial picture beside the document, nor the folder made for it.
bool writeWhole(const Destination& destination, const std::function<std::optional<std::string>(QIODevice&)>& write,
                Failure* failure)
{
    const auto refusal = OutputFile::writeWhole(destination.file, write);
    if (refusal && destination.madeFolder) {
        std::error_code ignored;
        fs::remove(destination.file.parent_path(), ignored);  // only while empty
    }
    if (refusal && failure)
        *failure = {destination.file.filename().string(), *refusal};
    return !refusal;
}

std::optional<std::string> writeAll(QIODevice& out, const QByteArray& bytes)
{
    if (out.write(bytes) != bytes.size())
        return std::string("not every byte could be written");
    return std::nullopt;
}

U16String markdownPath(const fs::path& destination)
{
    return u"images/" + fromPath(destination.filename());
}

} // namespace

const std::set<U16String>& imageExtensions()
{
    static const std::set<U16String> extensions{u"png", u"jpg",  u"jpeg", u"gif", u"heic",
                                                 u"heif", u"tiff", u"tif", u"bmp", u"webp"};
    return extensions;
}

std::optional<U16String> copyBesideDocument(const Url& source, const std::optional<Url>& documentURL, Failure* failure)
{
    if (!source.isFileURL())
        return std::nullopt;
    const fs::path from(source.path());
    std::string extension = from.extension().string();
    if (!extension.empty())
        extension.erase(0, 1);
    else
        extension = "png";
    // Only a regular file no larger than a picture that is read, never waited on (a pipe,
    // a device such as /dev/zero): a file reference is copied only when it is a picture's.
    FileRead::Failure refused;
    auto in = FileRead::Regular::open(from, (long long)PictureFile::maximumBytes, &refused);
    QByteArray bytes;
    if (!in || !in->readAll(bytes, (long long)PictureFile::maximumBytes, &refused)) {
        if (failure)
            *failure = {from.filename().string(), FileRead::describe(refused)};
        return std::nullopt;
    }
    const auto destination = destinationURL(from.stem().string(), extension, documentURL, failure);
    if (!destination)
        return std::nullopt;
    const bool copied = writeWhole(*destination, [&](QIODevice& out) { return writeAll(out, bytes); }, failure);
    if (!copied)
        return std::nullopt;
    return markdownPath(destination->file);
}

std::optional<U16String> materialize(const QByteArray& data, U16View preferredExtension,
                                     const std::optional<Url>& documentURL, Failure* failure)
{
    const std::string extension = preferredExtension.empty() ? std::string("png") : u8(preferredExtension);
    const auto destination = destinationURL("image", extension, documentURL, failure);
    if (!destination)
        return std::nullopt;
    if (!writeWhole(*destination, [&](QIODevice& out) { return writeAll(out, data); }, failure))
        return std::nullopt;
    return markdownPath(destination->file);
}

std::optional<U16String> relativePath(const Url& file, const std::optional<Url>& documentURL)
{
    const auto document = documentPath(documentURL);
    if (!document || !file.isFileURL())
        return std::nullopt;
    // Both folders as the system resolves them (a ".." after a link goes where the link
    // leads; only what does not exist is taken by its letters); a linked file stays itself.
    std::error_code folderError, targetError;
    const fs::path folder = fs::weakly_canonical(document->parent_path(), folderError);
    const fs::path given(file.path());
    const fs::path target = fs::weakly_canonical(given.parent_path(), targetError) / given.filename();
    if (folderError || targetError)
        return std::nullopt;
    std::vector<fs::path> d(folder.begin(), folder.end());
    std::vector<fs::path> f(target.begin(), target.end());
    // A trailing separator leaves an empty last component; it names no file.
    while (!d.empty() && d.back().empty())
        d.pop_back();
    while (!f.empty() && f.back().empty())
        f.pop_back();
    if (d.size() >= f.size())
        return std::nullopt;
    for (size_t i = 0; i < d.size(); ++i)
        if (d[i] != f[i])
            return std::nullopt;
    U16String out;
    for (size_t i = d.size(); i < f.size(); ++i) {
        if (!out.empty())
            out += u'/';
        out += fromPath(f[i]);
    }
    return out;
}

U16String mimeType(U16View extension)
{
    const U16String ext = TextOps::lowercased(extension);
    if (ext == u"jpg" || ext == u"jpeg")
        return u"image/jpeg";
    if (ext == u"gif")
        return u"image/gif";
    if (ext == u"heic" || ext == u"heif")
        return u"image/heic";
    if (ext == u"webp")
        return u"image/webp";
    if (ext == u"bmp")
        return u"image/bmp";
    if (ext == u"tif" || ext == u"tiff")
        return u"image/tiff";
    return u"image/png";
}

namespace {

int length(U16View s) { return int(s.size()); }

// What a line's container puts before a paragraph in it: the quote leaders with their blank,
// and the item's text column in spaces (or the line's own indentation under an item's text).
struct Container {
    U16String leader;
    U16String blankLine;  // a blank line of the container: its quote leaders alone
    int leaderEnd = 0;    // where the line's text starts after its leaders and marker
};

Container containerOf(U16View line)
{
    const MarkdownSyntax::QuoteLeader quote = MarkdownSyntax::quoteLeader(line);
    const U16View leaders = line.substr(0, size_t(quote.offset));
    Container c{U16String(leaders), U16String(trimmedTrailing(leaders, TrimSet::AsciiBlanks)), quote.offset};
    if (!leaders.empty() && !CharacterClass::isAsciiBlank(leaders.back()))
        c.leader += u' ';
    const U16View rest = line.substr(size_t(quote.offset));
    const auto item = MarkdownSyntax::isThematicBreak(rest) ? std::nullopt : MarkdownSyntax::matchList(rest);
    if (item) {
        int columns = 0;
        for (const char16_t ch : rest.substr(0, size_t(item->blanks.end())))
            columns = ch == u'\t' ? (columns / 4 + 1) * 4 : columns + 1;
        c.leader.append(size_t(columns), u' ');
        c.leaderEnd += item->blanks.end();
    } else if (!isBlank(rest, TrimSet::AsciiBlanks)) {
        size_t blanks = 0;
        while (blanks < rest.size() && CharacterClass::isAsciiBlank(rest[blanks]))
            ++blanks;
        c.leader += rest.substr(0, blanks);
        c.leaderEnd += int(blanks);
    }
    return c;
}

// Whether a line holds nothing but its quote leaders and blanks.
bool blankInContainer(U16View line)
{
    return isBlank(line.substr(size_t(MarkdownSyntax::quoteLeader(line).offset)), TrimSet::AsciiBlanks);
}

// The length of the line break at `at`: a CRLF counts as one.
int breakLength(U16View text, int at)
{
    if (at >= length(text))
        return 0;
    return text[size_t(at)] == u'\r' && at + 1 < length(text) && text[size_t(at) + 1] == u'\n' ? 2 : 1;
}

} // namespace

Placement placement(U16View text, int position, U16View line, U16View lineEnd)
{
    const int n = length(text);
    int p = std::clamp(position, 0, n);
    if (splitsCharacter(text, p))
        --p;
    const Range content = lineContentRange(text, p);
    p = std::min(p, content.end());
    const U16View own = substring(text, content);
    const Container c = containerOf(own);
    const U16String apart = U16String(lineEnd) + c.blankLine + U16String(lineEnd);
    const int offset = p - content.location;

    Range range{p, 0};
    U16String head;
    U16View after;  // what follows the picture on the line
    if (offset <= c.leaderEnd || isBlank(own.substr(0, size_t(offset)), TrimSet::AsciiBlanks)) {
        // The picture takes a line of its own above this one, a blank line under the text above.
        range = {content.location, 0};
        if (content.location > 0) {
            const int aboveEnd = content.location - 1 - (content.location >= 2 && text[size_t(content.location) - 1] == u'\n'
                                                          && text[size_t(content.location) - 2] == u'\r');
            if (!blankInContainer(substring(text, lineContentRange(text, aboveEnd))))
                head = c.blankLine + U16String(lineEnd);
        }
        if (blankInContainer(own))
            range = content;  // a blank line becomes the picture's
        else
            after = own;
    } else {
        head = apart;
        // Blanks at the position would indent the text that follows: they go.
        int from = p;
        while (from < content.end() && CharacterClass::isAsciiBlank(text[size_t(from)]))
            ++from;
        after = substring(text, Range::fromTo(from, content.end()));
        range = Range::fromTo(p, after.empty() ? content.end() : from);
    }
    head += c.leader;
    head += line;

    Placement placed{range, head, 0};
    if (!after.empty()) {
        // The line's text goes on after the picture; a text after a leader of its own keeps it.
        placed.replacement += apart;
        if (range.location > content.location)
            placed.replacement += c.leader;
        placed.caret = range.location + length(placed.replacement);
    } else if (content.end() == n) {
        placed.replacement += lineEnd;
        placed.caret = range.location + length(placed.replacement);
    } else {
        // The caret goes past the picture's line end, off the picture's line.
        const int next = content.end() + breakLength(text, content.end());
        if (next < n && !blankInContainer(substring(text, lineContentRange(text, next)))) {
            placed.replacement += lineEnd;
            placed.replacement += c.blankLine;
            placed.caret = range.location + length(head) + length(lineEnd);
        } else {
            placed.caret = range.location + length(head) + breakLength(text, content.end());
        }
    }
    return placed;
}

std::optional<U16String> imageLine(U16View path)
{
    const bool bracketed = path.find_first_of(u" \t()") != U16View::npos;
    const U16String line = bracketed ? u"![](<" + U16String(path) + u">)" : u"![](" + U16String(path) + u")";
    // The line must read back as this very path, the way the editor and export read it.
    const std::optional<ImageBlock::Parsed> parsed = ImageBlock::parseBlockImage(line);
    if (!parsed || parsed->url != path)
        return std::nullopt;
    return line;
}

} // namespace velkin::ImageInsertion
