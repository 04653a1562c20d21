#include "document/ImageCache.h"
#include "markdown/ImageBlock.h"
#include "markdown/MarkdownStyler.h"
#include "markdown/TableGrid.h"
#include "selftest/CheckUtilities.h"
#include "selftest/OffscreenEditor.h"
#include "selftest/SelfTestContext.h"

#include "document/ImageInsertion.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <filesystem>
#include <fstream>

namespace velkin {

namespace {

constexpr double kBaseSize = 13;

TextStorage rendered(U16View markdown)
{
    return TableGrid::render(markdown, kBaseSize);
}

bool renderSerializesBack(U16View markdown)
{
    return TableGrid::serialize(rendered(markdown)) == markdown;
}

std::vector<U16String> imageURLs(const AttributedString& text)
{
    std::vector<U16String> urls;
    ImageBlock::enumerateImageLines(text, [&](Range, Range, const U16String&, const U16String& url) { urls.push_back(url); });
    return urls;
}

// Collapses every image line with the editor's own step, at a fixed line height.
void collapseImages(TextStorage& storage, double height)
{
    ImageBlock::enumerateImageLines(storage, [&](Range line, Range enclosing, const U16String& alt, const U16String& url) {
        if (line.length >= 1 && enclosing.end() <= storage.length())
            ImageBlock::collapseLine(storage, line, enclosing, u8(url), alt, height);
    });
}

int locationOf(const AttributedString& text, U16View needle)
{
    const size_t at = text.string().find(needle);
    return at == U16String::npos ? -1 : int(at);
}

std::shared_ptr<const CollapsedImage> pictureAt(const AttributedString& text, int index)
{
    return index < 0 ? nullptr : text.marker<CollapsedImage>(AttributeKey::CollapsedImage, index);
}

const ParagraphStyle* styleAt(const AttributedString& text, int index)
{
    return index < 0 || index >= text.length() ? nullptr : text.paragraphStyle(index);
}

} // namespace

void blockImageChecks(SelfTestContext& t)
{
    // The image-line test.
    const auto parsed = ImageBlock::parseBlockImage(u"![alt](cat.png)");
    t.check("parseBlockImage detects a standalone image", parsed && parsed->url == u"cat.png");
    t.check("parseBlockImage ignores inline images", !ImageBlock::parseBlockImage(u"see ![alt](cat.png) here"));

    for (U16View sample : {U16View(u"![a](cat.png)"),
                           U16View(u"# Title\n\n![diagram](https://example.com/x.png)\n\nAfter."),
                           U16View(u"![](data:image/png;base64,iVBORw0KGgo=)"),
                           U16View(u"intro\n\n![a](cat.png)\n\n| A | B |\n| --- | --- |\n| 1 | 2 |\n\nout")})
        t.check("image render → serialize is lossless", renderSerializesBack(sample));

    {
        const TextStorage single = rendered(u"![alt](cat.png)");
        t.check("image source characters are kept, not replaced", single.string() == u"![alt](cat.png)");
        t.check("no object-replacement character is introduced", single.string().find(u'\uFFFC') == U16String::npos);
    }

    // The walker.
    t.check("enumerateImageLines finds each standalone image",
            imageURLs(rendered(u"![a](x.png)\n\ntext\n\n![b](y.png)")) == std::vector<U16String>{u"x.png", u"y.png"});
    t.check("enumerateImageLines skips images in code fences", imageURLs(rendered(u"```\n![a](x.png)\n```")).empty());

    // Collapsing outside a grid.
    {
        const U16String markdown = u"intro\n\n![a](x.png)\n\nout";
        TextStorage storage = rendered(markdown);
        collapseImages(storage, 200);
        t.check("collapsed image line carries the .collapsedImage marker",
                pictureAt(storage, locationOf(storage, u"![a]")) != nullptr);
        t.check("collapsing leaves the Markdown characters untouched", TableGrid::serialize(storage) == markdown);
        t.check("non-image lines are not collapsed", !storage.attribute(AttributeKey::CollapsedImage, locationOf(storage, u"intro")));
    }

    // Display sizes.
    {
        const QImage tall(100, 1000, QImage::Format_ARGB32);
        t.check("a tall image is capped to the max height", ImageBlock::displaySize(&tall, 600).height() == 320);
        t.check("a missing image reserves the placeholder box", ImageBlock::displaySize(nullptr, 600) == QSizeF(600, 120));
    }

    // A data: address has a key but is never loaded as a picture.
    {
        const U16String source = u"data:image/png;base64,aGk=";
        if (const std::optional<std::string> key = ImageCache::key(source, std::nullopt)) {
            ImageCache::ensureLoaded(source, std::nullopt, [] {});
            t.check("a data: URI is not loaded as a picture", ImageCache::failedKeys().count(*key) != 0);
            t.check("a data: URI caches no image", ImageCache::cachedImage(*key) == nullptr);
        } else {
            t.check("a data: URI still resolves to a cache key", false);
        }
    }

    // Collapsing inside a grid.
    {
        const U16String markdown = u"| Icon | Name |\n| --- | --- |\n| ![a](x.png) | Cat |";
        TextStorage grid = rendered(markdown);
        t.check("an image alone in a cell is found", imageURLs(grid) == std::vector<U16String>{u"x.png"});
        collapseImages(grid, 80);
        const int at = locationOf(grid, u"![a]");
        if (const ParagraphStyle* style = styleAt(grid, at)) {
            t.check("a collapsed cell image keeps its grid cell", style->tableBlock() != nullptr);
            t.check("a collapsed cell image reserves the picture's height", style->minimumLineHeight == 80);
        } else {
            t.check("a collapsed cell image keeps its grid cell", false);
            t.check("a collapsed cell image reserves the picture's height", false);
        }
        t.check("a collapsed cell image is marked for drawing", pictureAt(grid, at) != nullptr);
        t.check("a table with a collapsed image still serializes as a table", TableGrid::serialize(grid) == markdown);
        const TextTableBlock* cell = at < 0 ? nullptr : TableGrid::cellBlock(grid, at);
        t.check("a picture in a cell is sized to its column", cell && TableGrid::cellContentWidth(*cell, 600) < 300);

        const TextStorage plain = rendered(u"![a](x.png)");
        const TextTableBlock* none = TableGrid::cellBlock(plain, 0);
        t.check("a picture outside a grid gets the whole text column",
                !none || TableGrid::cellContentWidth(*none, 600) == 600);

        MarkdownStyler{kBaseSize, MarkdownFontFamily::sansSerif}.apply(grid);
        t.check("restyling clears a stale cell image marker", pictureAt(grid, at) == nullptr);
        const ParagraphStyle* restyled = styleAt(grid, at);
        t.check("restyling clears the cell's reserved height", restyled && restyled->minimumLineHeight == 0);
    }
    {
        TextStorage centred = rendered(u"| A |\n| :---: |\n| ![a](x.png) |");
        collapseImages(centred, 40);
        const ParagraphStyle* style = styleAt(centred, locationOf(centred, u"![a]"));
        t.check("a collapsed cell image keeps its column alignment", style && style->alignment == TextAlignment::Center);
    }

    // The editor shows a cell's picture except while the caret is in that cell.
    {
        const U16String markdown =
            u"| Icon | Name |\n| --- | --- |\n| ![a](data:image/png;base64,iVBORw0KGgo=) | Cat |";
        OffscreenEditor editor;
        editor.load(markdown);
        editor.caretAt(u"Cat");
        editor.restyle();
        const int at = editor.find(u"![a]");
        t.check("a cell image renders while the caret is elsewhere",
                pictureInCell<CollapsedImage>(&editor.storage(), AttributeKey::CollapsedImage, at) != nullptr);
        t.check("a table with a rendered cell image stays one table", editor.serialized() == markdown);
        editor.caretAt(u"![a]");
        editor.restyle();
        t.check("a cell image reveals its source when the caret moves in",
                pictureInCell<CollapsedImage>(&editor.storage(), AttributeKey::CollapsedImage, at) == nullptr);
        t.check("the revealed cell is still part of the table", editor.serialized() == markdown);
    }
}

void imageInsertionChecks(SelfTestContext& t)
{
    namespace fs = std::filesystem;
    const fs::path folder = SelfTestFiles::temporaryPath("velkin-imgtest-");
    std::error_code ec;
    fs::create_directories(folder, ec);
    const Url documentURL = Url::fileURL((folder / "note.md").string());
    const fs::path picture = folder / "pic.png";
    {
        std::ofstream out(picture, std::ios::binary);
        out.put(char(0x89));
    }
    t.check("image inside the doc folder \u2192 relative path",
            ImageInsertion::relativePath(Url::fileURL(picture.string()), documentURL) == U16String(u"pic.png"));
    const fs::path elsewhere = SelfTestFiles::temporaryPath("elsewhere-", "png");
    t.check("image outside the doc folder \u2192 not relative",
            !ImageInsertion::relativePath(Url::fileURL(elsewhere.string()), documentURL));
    const auto placed = ImageInsertion::materialize(QByteArray("x"), u"png", documentURL);
    t.check("raw data beside a saved doc \u2192 images/ path",
            placed && TextOps::hasPrefix(*placed, u"images/") && TextOps::hasSuffix(*placed, u".png"));
    t.check("materialised image exists on disk", fs::exists(folder / u8(placed.value_or(U16String())), ec));
    t.check("raw data with no doc folder \u2192 nothing placed",
            !ImageInsertion::materialize(QByteArray("x"), u"png", std::nullopt));
    fs::remove_all(folder, ec);
}

} // namespace velkin
