#include "export/AppStoreShot.h"

#include "export/PreviewRendererPage.h"
#include "export/WindowChrome.h"
#include "platform/FilePath.h"
#include "platform/FileRead.h"
#include "platform/graphics/PngWriter.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <QLinearGradient>
#include <QPainter>

#include <cstdio>

namespace velkin::AppStoreShot {

namespace {

constexpr int kCanvasWidth = 1280;
constexpr int kCanvasHeight = 800;
constexpr double kPageWidth = 700;
constexpr double kPageHeight = 860;
constexpr double kScale = 1.4;
constexpr double kTopFromBottom = 783.2;

void report(const std::string& line)
{
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

} // namespace

const std::vector<Shot>& shots()
{
    static const std::vector<Shot> table{
        {"demo.md", "styled-source", std::nullopt}, {"trip.md", "images", std::nullopt},
        {"demo.md", "tables", "## Tables"},         {"code.md", "code", std::nullopt},
        {"prd.md", "alerts", std::nullopt},         {"journal.md", "tasks", "## Thursday"},
        {"api.md", "footnotes", std::nullopt},      {"chapter.md", "prose", std::nullopt},
    };
    return table;
}

std::string outputName(int number, const Shot& shot)
{
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%02d-", number);
    return prefix + shot.subject + ".png";
}

std::optional<U16String> excerpt(U16View document, const std::optional<U16String>& from)
{
    if (!from)
        return U16String(document);
    const auto lines = splitAt(document, u'\n');
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!TextOps::hasPrefix(lines[i], *from))
            continue;
        std::vector<U16View> rest(lines.begin() + long(i), lines.end());
        return TextOps::joined(rest, u"\n");
    }
    return std::nullopt;
}

std::optional<QImage> canvas(U16View markdown, const std::string& title, const std::optional<Url>& baseURL)
{
    const TextStorage storage = PreviewRenderer::preparePage(markdown, kPageWidth, 14, baseURL);
    auto page = PreviewRenderer::pageBitmap(storage, kPageWidth, kPageHeight);
    if (!page)
        return std::nullopt;
    auto framed = WindowChrome::frame(*page, title);
    if (!framed)
        return std::nullopt;
    QImage image(kCanvasWidth, kCanvasHeight, QImage::Format_RGB32);
    if (image.isNull())
        return std::nullopt;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, kCanvasHeight);
    gradient.setColorAt(0, QColor::fromRgbF(0.33f, 0.6f, 1.0f));
    gradient.setColorAt(1, QColor::fromRgbF(0.11f, 0.31f, 0.8f));
    painter.fillRect(QRectF(0, 0, kCanvasWidth, kCanvasHeight), gradient);
    const double w = framed->width() / framed->devicePixelRatio() * kScale;
    const double h = framed->height() / framed->devicePixelRatio() * kScale;
    // The framed page's top edge sits 783.2 points above the bottom; its lower part falls off the canvas.
    const QRectF target((kCanvasWidth - w) / 2, kCanvasHeight - kTopFromBottom, w, h);
    painter.drawImage(target, *framed);
    painter.end();
    return image;
}

bool renderPNG(U16View markdown, const std::string& title, const std::optional<Url>& baseURL,
               const std::filesystem::path& destination, std::string* error)
{
    auto image = canvas(markdown, title, baseURL);
    return PngWriter::write(image ? *image : QImage(), destination, error);
}

namespace {

// A sample's text; nothing when it is missing (`reason` left empty: the shot is
// named alone) or cannot be read as UTF-8 text (`reason` says why).
std::optional<U16String> sampleText(const std::filesystem::path& sample, std::string& reason)
{
    FileRead::Failure failure;
    const auto bytes = FileRead::bytes(sample, 256LL << 20, &failure);
    if (!bytes) {
        if (failure.kind != FileRead::Failure::Kind::missing)
            reason = FileRead::describe(failure);
        return std::nullopt;
    }
    auto text = decodeUtf8Strict(*bytes);
    if (!text)
        reason = "it is not UTF-8 text";
    return text;
}

} // namespace

bool renderAll(const std::filesystem::path& samples, const std::filesystem::path& output)
{
    std::error_code made;
    std::filesystem::create_directories(output, made);
    // A folder that cannot be made fails every shot for one reason, said once.
    if (made)
        report("Cannot make the folder " + output.string() + " (" + made.message() + ")");
    bool ok = true;
    int number = 0;
    for (const Shot& shot : shots()) {
        ++number;
        const std::filesystem::path destination = output / outputName(number, shot);
        const std::filesystem::path sample = samples / shot.file;
        bool written = false;
        std::string failed;  // the file that failed and why
        std::string error;
        if (auto text = made ? std::nullopt : sampleText(sample, error)) {
            const std::optional<U16String> from = shot.from ? std::optional<U16String>(u16(*shot.from)) : std::nullopt;
            if (auto part = excerpt(*text, from)) {
                // Pictures are found beside the sample where the system finds its folder.
                written = renderPNG(*part, shot.file, Url::fileURL(FilePath::resolvedFolder(sample).string()),
                                    destination, &error);
                if (!error.empty())
                    failed = destination.string() + ": " + error;
            }
        } else if (!error.empty()) {
            failed = sample.string() + ": " + error;
        }
        if (written) {
            report("Wrote " + destination.string());
        } else {
            // A shot that could not be made names the file and why; a sample that is
            // missing, or lacks its heading, is named alone.
            report("Failed on " + shot.file + (failed.empty() ? "" : " (" + failed + ")"));
            ok = false;
        }
    }
    return ok;
}

} // namespace velkin::AppStoreShot
