#pragma once
// The document of a window: the whole text of one Markdown file.
#include "app/ContentType.h"
#include "platform/text/Range.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkin {

struct MarkdownDocument {
    // The text after any byte-order mark: headings, tables and front lines
    // are read from its first character.
    U16String text;
    // The file began with a UTF-8 byte-order mark, which a save writes back.
    bool byteOrderMark = false;

    // The types a document is read as and written as, the Markdown type first.
    static std::vector<ContentType> readableContentTypes();
    static std::vector<ContentType> writableContentTypes();

    // What reading a file found besides its text.
    struct Reading {
        std::string bytes;      // the file's bytes as read
        bool repaired = false;  // they were not valid UTF-8
    };

    // The document held by a file's bytes: strict UTF-8, else with every
    // ill-formed sequence repaired to U+FFFD (`repaired` then says so), one
    // leading byte-order mark set apart. Never fails.
    static MarkdownDocument fromData(std::string_view bytes, bool* repaired = nullptr);
    // Reads a regular file; nothing, with the reason in `error`, when it cannot.
    static std::optional<MarkdownDocument> read(const std::filesystem::path& path, std::string* error = nullptr,
                                                Reading* reading = nullptr);
    // Whether bytes look like a binary file rather than text: a NUL among the first 8 KB.
    static bool looksBinary(std::string_view bytes);
    // Reads a file as a document that nobody can be asked about: as read() does, but a
    // file that looks binary (a window asks before it opens one; UTF-16 text is one) is
    // refused with the reason in `error`.
    static std::optional<MarkdownDocument> readUnattended(const std::filesystem::path& path, std::string* error = nullptr);
    // The same asked of a file, reading its first 8 KB alone.
    static bool fileLooksBinary(const std::filesystem::path& path);
    // Why a window cannot take a regular file of this size with the memory at
    // hand (the limit named, as a reason for the open error message); nothing
    // when it can, or when the path is no regular file (reading says why).
    static std::optional<std::string> tooLargeForWindow(const std::filesystem::path& path);

    // The text as UTF-8 bytes, after a byte-order mark when the document has one.
    std::string data() const;
    // The same for any text, encoded straight from it.
    static std::string encode(U16View text, bool byteOrderMark);

    bool operator==(const MarkdownDocument&) const = default;
};

} // namespace velkin
