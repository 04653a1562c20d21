#include "selftest/SelfTestContext.h"

#include "export/AppStoreShot.h"
#include "platform/FileRead.h"
#include "export/Export.h"
#include "selftest/CheckUtilities.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <QImage>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace velkin {

namespace {

std::string readBytes(const std::filesystem::path& path)
{
    return FileRead::bytes(path).value_or(std::string());
}

} // namespace

void storeScreenshotChecks(SelfTestContext& t)
{
    const auto& shots = AppStoreShot::shots();
    t.check("the listing is ten screenshots or fewer", shots.size() < 11, "got " + std::to_string(shots.size()));

    if (const auto samples = SelfTestFiles::samplesDirectory()) {
        for (const AppStoreShot::Shot& shot : shots) {
            const auto text = FileRead::utf8Text(*samples / shot.file);
            const bool read = text.has_value();
            t.check("the " + shot.file + " shot has its document", read);
            if (!read)
                continue;
            const std::optional<U16String> from = shot.from ? std::optional<U16String>(u16(*shot.from)) : std::nullopt;
            t.check("the " + shot.file + " shot scrolls to " + shot.from.value_or("the top"),
                    AppStoreShot::excerpt(*text, from).has_value());
        }
    } else if (SelfTestFiles::isBundled()) {
        t.skip("every shot has its document", "Samples/ isn't shipped inside the app");
    } else {
        t.check("the samples are where the screenshots expect them", false);
    }

    const std::filesystem::path file = SelfTestFiles::temporaryPath("velkin-appstore-", "png");
    const bool rendered = AppStoreShot::renderPNG(u"# Sample\n\nA line of the document.\n", "demo.md", std::nullopt, file);
    t.check("an App Store screenshot renders", rendered);
    if (rendered) {
        const QImage image(QString::fromStdString(file.string()));
        if (!image.isNull()) {
            t.check("an App Store screenshot is 1280x800 pixels", image.width() == 1280 && image.height() == 800,
                    "got " + std::to_string(image.width()) + "\u00d7" + std::to_string(image.height()));
            t.check("an App Store screenshot carries no alpha channel", !image.hasAlphaChannel());
            const auto background = pixelColor(image, 8, 8);
            t.check("the background is the icon's blue", background && background->blueF() - background->redF() > 0.2,
                    background ? "got " + colorDescription(*background) : std::string("got nothing"));
            const auto window = pixelColor(image, 640, 82);
            t.check("the window sits below the top of the canvas",
                    window && std::abs(window->redF() - window->blueF()) < 0.15,
                    window ? "got " + colorDescription(*window) : std::string("got nothing"));
        }
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
    }
}

void exportedPageChecks(SelfTestContext& t)
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

void exportFormatChecks(SelfTestContext& t)
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
