#include "selftest/SelfTestContext.h"

#include "export/Export.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace velkin {

namespace {

std::string readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

} // namespace

void group45StoreScreenshots(SelfTestContext& t)
{
    (void)t;
}

void group47ExportedPage(SelfTestContext& t)
{
    MarkdownHTML::Options serif;
    serif.title = u"Notes";
    serif.family = MarkdownFontFamily::serif;
    const U16String page = MarkdownHTML::document(u"# Title", serif);
    t.check("an exported page is a whole document", TextOps::hasPrefix(page, u"<!DOCTYPE html>"));
    t.check("an exported page is titled", TextOps::contains(page, u"<title>Notes</title>"));
    t.check("an exported page carries its style sheet", TextOps::contains(page, u"<style>"));
    t.check("View \u25B8 Font reaches the page", TextOps::contains(page, u"New York"));
    t.check("the sans-serif face is the default", TextOps::contains(MarkdownHTML::document(u"x"), u"-apple-system"));

    const auto samples = SelfTestFiles::samplesDirectory();
    if (!samples) {
        if (SelfTestFiles::isBundled())
            t.skip("a picture is carried inside the page", "Samples/ isn't shipped inside the app");
        return;
    }
    const std::filesystem::path trip = *samples / "trip.md";
    const U16String text = decodeUtf8Strict(readBytes(trip)).value_or(U16String());
    MarkdownHTML::Options options;
    options.baseURL = Url::fileURL(std::filesystem::absolute(trip).string());
    const U16String body = MarkdownHTML::body(text, options);
    t.check("a picture is carried inside the page", TextOps::contains(body, u"src=\"data:image/"));
    t.check("a carried picture is sized to the measure",
            TextOps::contains(body, u"width=\"") && TextOps::contains(body, u"height=\""));
}

void group48ExportFormats(SelfTestContext& t)
{
    const U16String markdown = u"# Title\n\nSome **text**, and a list:\n\n- one\n- two\n";
    MarkdownHTML::Options options;
    options.title = u"Title";
    for (ExportFormat::Value value : ExportFormat::allCases()) {
        const ExportFormat format(value);
        const std::string extension = format.fileExtension();
        const std::filesystem::path target = SelfTestFiles::temporaryPath("velkin-export-", extension);
        const auto failure = Export::write(markdown, target, format, options);
        if (failure) {
            t.check("an export writes a ." + extension + " file", false, *failure);
        } else {
            const std::string data = readBytes(target);
            t.check("an export writes a ." + extension + " file", !data.empty());
            const U16String head = u16(std::string_view(data).substr(0, 16));
            const U16View signature = value == ExportFormat::pdf    ? U16View(u"%PDF")
                                      : value == ExportFormat::html ? U16View(u"<!DOCTYPE html>")
                                                                    : U16View(u"{\\rtf");
            t.check("a ." + extension + " file says what it is", TextOps::hasPrefix(head, signature));
        }
        std::error_code ec;
        std::filesystem::remove(target, ec);
    }
    t.check("a file's extension chooses the format",
            ExportFormat::named("PDF") == ExportFormat(ExportFormat::pdf)
                && ExportFormat::named("htm") == ExportFormat(ExportFormat::html)
                && ExportFormat::named("rtf") == ExportFormat(ExportFormat::rtf) && !ExportFormat::named("md"));
}

} // namespace velkin
