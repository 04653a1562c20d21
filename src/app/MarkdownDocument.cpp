#include "app/MarkdownDocument.h"

#include "export/OutputBudget.h"
#include "platform/FilePath.h"
#include "platform/FileRead.h"
#include "platform/MachineMemory.h"
#include "platform/strings/LocalizedStrings.h"
#include "platform/text/Utf.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

namespace velkin {

namespace fs = std::filesystem;

std::vector<ContentType> MarkdownDocument::readableContentTypes()
{
    return {ContentType::velkinMarkdown(), ContentType::plainText()};
}

std::vector<ContentType> MarkdownDocument::writableContentTypes()
{
    return readableContentTypes();
}

namespace {

constexpr std::string_view byteOrderMarkBytes = "\xEF\xBB\xBF";

// Strict UTF-8 to UTF-16 in one pass, quick over ASCII; nothing at the first
// ill-formed sequence (overlong forms, surrogates, values past U+10FFFF,
// truncated sequences).
std::optional<U16String> decodeStrict(std::string_view bytes)
{
    U16String out(bytes.size(), u'\0');
    char16_t* o = out.data();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const end = p + bytes.size();
    while (p < end) {
        if (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if ((word & 0x8080808080808080ULL) == 0) {
                for (int k = 0; k < 8; ++k)
                    o[k] = p[k];
                o += 8;
                p += 8;
                continue;
            }
        }
        const unsigned char b = *p;
        if (b < 0x80) {
            *o++ = b;
            ++p;
            continue;
        }
        char32_t c;
        int extra;
        char32_t minimum;
        if (b >= 0xC2 && b <= 0xDF) {
            c = b & 0x1F;
            extra = 1;
            minimum = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            c = b & 0x0F;
            extra = 2;
            minimum = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            c = b & 0x07;
            extra = 3;
            minimum = 0x10000;
        } else {
            return std::nullopt;
        }
        if (end - p <= extra)
            return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            if ((p[k] & 0xC0) != 0x80)
                return std::nullopt;
            c = (c << 6) | (p[k] & 0x3F);
        }
        if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return std::nullopt;
        if (c >= 0x10000) {
            c -= 0x10000;
            *o++ = char16_t(0xD800 + (c >> 10));
            *o++ = char16_t(0xDC00 + (c & 0x3FF));
        } else {
            *o++ = char16_t(c);
        }
        p += extra + 1;
    }
    out.resize(size_t(o - out.data()));
    return out;
}

} // namespace

MarkdownDocument MarkdownDocument::fromData(std::string_view bytes, bool* repaired)
{
    const bool mark = bytes.starts_with(byteOrderMarkBytes);
    if (mark)
        bytes.remove_prefix(byteOrderMarkBytes.size());
    auto strict = decodeStrict(bytes);
    if (repaired)
        *repaired = !strict;
    return {strict ? std::move(*strict) : u16(bytes), mark};
}

bool MarkdownDocument::looksBinary(std::string_view bytes)
{
    return bytes.substr(0, 8192).find('\0') != std::string_view::npos;
}

namespace {

std::string openError(const fs::path& path, const U16String& reason)
{
    return u8(LocalizedStrings::format(LocalizedStrings::text(u"openErrorMessage"), {u16(FilePath::shownName(path)), reason}));
}

} // namespace

std::optional<MarkdownDocument> MarkdownDocument::readUnattended(const fs::path& path, std::string* error)
{
    Reading reading;
    std::optional<MarkdownDocument> document = read(path, error, &reading);
    if (document && looksBinary(reading.bytes)) {
        if (error)
            *error = openError(path, LocalizedStrings::text(u"openErrorBinary"));
        return std::nullopt;
    }
    return document;
}

bool MarkdownDocument::fileLooksBinary(const fs::path& path)
{
    // Through the one reader: a pipe or a device in the file's place is never waited on.
    std::optional<FileRead::Regular> file = FileRead::Regular::open(path, std::numeric_limits<long long>::max());
    return file && looksBinary(file->head(8192));
}

std::optional<std::string> MarkdownDocument::tooLargeForWindow(const fs::path& path)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return std::nullopt;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec)
        return std::nullopt;
    const auto refusal = OutputBudget::refusal(OutputBudget::Output::window, size, MachineMemory::atHand());
    if (!refusal)
        return std::nullopt;
    return openError(path, u16(*refusal));
}

std::optional<MarkdownDocument> MarkdownDocument::read(const fs::path& path, std::string* error, Reading* reading)
{
    const auto fail = [&](const U16String& reason) -> std::optional<MarkdownDocument> {
        if (error)
            *error = openError(path, reason);
        return std::nullopt;
    };
    // Only a regular file, never waited on (a pipe, a device); one that grows while it is read is read to its end.
    FileRead::Failure failure;
    std::optional<std::string> read = FileRead::bytes(path, std::numeric_limits<long long>::max(), &failure);
    if (!read) {
        switch (failure.kind) {
        case FileRead::Failure::Kind::missing: return fail(LocalizedStrings::text(u"openErrorNoSuchFile"));
        case FileRead::Failure::Kind::folder: return fail(LocalizedStrings::text(u"openErrorFolder"));
        case FileRead::Failure::Kind::notRegular: return fail(LocalizedStrings::text(u"openErrorNotRegular"));
        case FileRead::Failure::Kind::tooLarge:
        case FileRead::Failure::Kind::unreadable: break;
        }
        return fail(u16(FileRead::describe(failure)));
    }
    std::string bytes = std::move(*read);
    bool repaired = false;
    MarkdownDocument document = fromData(bytes, &repaired);
    if (reading)
        *reading = Reading{std::move(bytes), repaired};
    return document;
}

std::string MarkdownDocument::data() const
{
    return encode(text, byteOrderMark);
}

std::string MarkdownDocument::encode(U16View text, bool byteOrderMark)
{
    std::string bytes = u8(text);
    if (byteOrderMark)
        bytes.insert(0, byteOrderMarkBytes);
    return bytes;
}

} // namespace velkin
