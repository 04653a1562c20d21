#pragma once
// Writing a document as an HTML page, a PDF file or an RTF file. Every format
// starts from the same page: HTML is written as it is; PDF and RTF import it
// as rich text, fit its pictures to the printable width and write that.
#include "export/MarkdownHTML.h"

#include <QByteArray>

#include <array>
#include <filesystem>
#include <optional>
#include <string>

class QTextDocument;

namespace velkin {

class ExportFormat {
public:
    enum Value : int { pdf = 0, html = 1, rtf = 2 };

    constexpr ExportFormat(Value value) : value_(value) {}

    // The format of a raw value (also the tag of the export action), or nothing outside 0 to 2.
    static std::optional<ExportFormat> fromRawValue(int raw);
    // "pdf", "html" or "htm", "rtf" in any letter case; nothing for any other name.
    static std::optional<ExportFormat> named(std::string_view name);
    static constexpr std::array<Value, 3> allCases() { return {pdf, html, rtf}; }

    constexpr int rawValue() const { return value_; }
    constexpr Value value() const { return value_; }
    const char* fileExtension() const;

    constexpr bool operator==(const ExportFormat& other) const = default;

private:
    Value value_;
};

namespace Export {

// Why the export of the file `in` must not write `out`, or nothing: `out` is
// `in` itself (the same file, through any link), or exists and is no regular
// file (a pipe would block, a device take the bytes). A new name is always
// fine, and so is any name when `in` is empty (a text never saved).
std::optional<std::string> outputRefusal(const std::string& in, const std::string& out);

// Writes the export of the Markdown text to the file; nothing on success, else
// the error's description. A failed export, a write cut short too, leaves an
// existing file as it was and no partial one.
// A successful export that had to leave something out says so in `notice`.
std::optional<std::string> write(U16View markdown, const std::filesystem::path& to, ExportFormat format,
                                 const MarkdownHTML::Options& options, std::string* notice = nullptr);

// RTF of a page made by MarkdownHTML::document, its pictures fitted.
std::optional<QByteArray> richText(U16View page, std::string* error = nullptr, std::string* notice = nullptr);

// Prints a page made by MarkdownHTML::document into a PDF file.
std::optional<std::string> printPDF(U16View page, const std::filesystem::path& to, std::string* notice = nullptr);

// The most bytes the pictures of one PDF or RTF export may hold together: their
// compressed bytes, and an eighth more for the pictures decoded last.
inline constexpr long long pictureBudget = 512LL << 20;

// Scales every picture of an imported page to at most 468 points wide and 320 high.
void fitPictures(QTextDocument& document);

} // namespace Export

} // namespace velkin
