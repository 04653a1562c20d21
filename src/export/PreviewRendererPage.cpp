// Page images: a styled Markdown page laid out and drawn as the editor shows it.
#include "export/PreviewRendererPage.h"

#include "document/CodeBlockLayoutManager.h"
#include "export/OutputBudget.h"
#include "export/WindowChrome.h"
#include "markdown/TableGrid.h"
#include "markdown/TaskList.h"
#include "platform/MachineMemory.h"
#include "platform/graphics/PngWriter.h"

#include <QPainter>

#include <cmath>

#include <malloc.h>

namespace velkin::PreviewRenderer {

namespace {

constexpr double kInset = 28;
constexpr double kPadding = 4;
// Pages are drawn at two pixels per point, like a high-density screen; a page
// taller than this many points is drawn at one pixel per point.
constexpr double kDenseLimit = 20000;

double checkboxSize(double baseSize)
{
    return std::max(std::round(0.95 * baseSize), 11.0);
}

QColor pageBackground()
{
    return Color::role(Color::Role::TextBackground).toQColor(Appearance::Light);
}

} // namespace

TextStorage preparePage(U16View markdown, double width, double baseSize, const std::optional<Url>& baseURL)
{
    TextStorage storage = TableGrid::render(markdown, baseSize);
    // Collapsing changes attributes only, so one classification of the lines serves all three.
    const ProseLines lines(storage);
    collapseAllImages(storage, baseURL, width - 2 * kInset - 2 * kPadding, &lines);
    collapseAllTasks(storage, checkboxSize(baseSize), &lines);
    collapseAllShortcodes(storage, &lines);
    storage.releaseSpareRoom();
    return storage;
}

namespace {

// The paragraphs of the text that stand in table cells.
uint64_t cellParagraphs(const TextStorage& storage)
{
    const U16View text = storage.string();
    uint64_t cells = 0;
    for (size_t at = 0; at < text.size();) {
        const ParagraphStyle* style = storage.paragraphStyle(int(at));
        if (style && style->tableBlock())
            ++cells;
        const size_t end = text.find(u'\n', at);
        at = end == U16View::npos ? text.size() : end + 1;
    }
    return cells;
}

struct Page {
    std::unique_ptr<TextStorage> storage;
    std::unique_ptr<CodeBlockLayoutManager> layout;
    double height = 0;
};

// A page drawn in bands keeps its paragraphs' lines and heights, not their
// layouts: each band lays out again what it draws and lets go of it, and a
// line is shaped when it is drawn, so that what the layout holds does not
// grow with the page.
Page layOut(std::unique_ptr<TextStorage> storage, double width, std::optional<double> pageHeight, bool inBands = false)
{
    Page page;
    page.storage = std::move(storage);
    page.layout = std::make_unique<CodeBlockLayoutManager>(page.storage.get());
    page.layout->appearance = Appearance::Light;
    page.layout->keepsGlyphs = !inBands;
    page.layout->keepsLayouts = !inBands;
    if (inBands)
        page.layout->paintCacheBudget = size_t(1) << 20;  // for the lines two bands share
    page.layout->setTextContainer({std::max(1.0, width - 2 * kInset), 1e12, kPadding});
    page.layout->ensureLayout();
    const double used = page.layout->usedRect().height();
    page.height = pageHeight ? *pageHeight : std::ceil(used) + 2 * kInset;
    return page;
}

void drawPage(Page& page, QPainter& painter, const QRectF& visible)
{
    const QPointF origin(kInset, kInset);
    page.layout->draw(painter, visible.translated(-origin), origin);
}

std::optional<QImage> bitmapOf(std::unique_ptr<TextStorage> storage, double width, std::optional<double> pageHeight)
{
    if (width <= 0)
        return std::nullopt;
    Page page = layOut(std::move(storage), width, pageHeight);
    const double scale = page.height > kDenseLimit ? 1 : 2;
    const long long pixels = static_cast<long long>(width * scale) * static_cast<long long>(page.height * scale);
    if (page.height <= 0 || pixels > 400'000'000LL)
        return std::nullopt;
    QImage image(int(width * scale), int(page.height * scale), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return std::nullopt;
    image.setDevicePixelRatio(scale);
    image.fill(pageBackground());
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF all(0, 0, width, page.height);
    painter.setClipRect(all);
    drawPage(page, painter, all);
    return image;
}

} // namespace

std::optional<QImage> pageBitmap(const AttributedString& attributed, double width, std::optional<double> pageHeight)
{
    return bitmapOf(std::make_unique<TextStorage>(attributed), width, pageHeight);
}

bool renderPNG(U16View markdown, const std::filesystem::path& destination, double width, double baseSize,
               const std::optional<Url>& baseURL, const std::optional<std::string>& windowTitle,
               std::optional<double> pageHeight, std::string* error)
{
    // The page's layout takes the text over: a copy would double the runs of a long text.
    auto storage = std::make_unique<TextStorage>(preparePage(markdown, width, baseSize, baseURL));
    // A grid's cell paragraphs (a paragraph for each line of a cell) cost more
    // than their text: a page that would take more than there is is not laid out.
    if (auto refusal = OutputBudget::tableRefusal(OutputBudget::Output::png, markdown.size(), cellParagraphs(*storage),
                                                  MachineMemory::available())) {
        if (error)
            *error = *refusal;
        return false;
    }
    if (!windowTitle && !pageHeight) {
        // A page as tall as its text may be very tall: draw and write it in bands.
        Page page = layOut(std::move(storage), width, std::nullopt, true);
        const double scale = page.height > kDenseLimit ? 1 : 2;
        return PngWriter::writeInBands(destination, width, page.height, scale, pageBackground(),
                                       [&](QPainter& painter, const QRectF& visible) { drawPage(page, painter, visible); },
                                       error);
    }
    // Both fail only when the bitmap cannot be had.
    std::optional<QImage> bitmap = bitmapOf(std::move(storage), width, pageHeight);
    // The page's text and layout are gone: the many small blocks they held go back to
    // the system before the frame's shadow takes its large ones, or both would count.
    malloc_trim(0);
    if (bitmap && windowTitle)
        bitmap = WindowChrome::frame(*bitmap, *windowTitle);
    return PngWriter::write(bitmap ? *bitmap : QImage(), destination, error);
}

} // namespace velkin::PreviewRenderer
