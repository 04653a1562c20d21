// Picture lines in a live editor follow what they are drawn for: the document's
// folder when its file changes and the view's width after a resize. (Two windows
// waiting for one picture: ImageCacheTest.)
#include "EditorHarness.h"
#include "RestyleDifferential.h"
#include "TempDirectory.h"

#include "document/ImageCache.h"
#include "markdown/ImageBlock.h"
#include "platform/BackgroundThreads.h"
#include "platform/text/Utf.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <future>

namespace velkin {
namespace {

using namespace testing_editor;
using testing::TempDirectory;

std::string png(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data.toStdString();
}

bool waitUntil(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

void placeIn(Editor& e, const TempDirectory& folder)
{
    e.host->setWindowFilePath(QString::fromStdString((folder.path() / "note.md").string()));
}

std::string keyIn(const TempDirectory& folder, U16View source)
{
    return ImageCache::key(source, Url::fileURL((folder.path() / "note.md").string())).value_or("");
}

// The picture key the line at `at` shows, or "" when it shows its source.
std::string shownKey(const Editor& e, int at)
{
    const auto mark = e.storage().marker<CollapsedImage>(AttributeKey::CollapsedImage, at);
    return mark ? mark->key : std::string();
}

double lineHeight(const Editor& e, int at)
{
    const ParagraphStyle* style = e.storage().paragraphStyle(at);
    return style ? style->minimumLineHeight : -1;
}

// The heights of the picture lines, in order.
std::vector<double> pictureHeights(const Editor& e)
{
    std::vector<double> heights;
    ImageBlock::enumerateImageLines(e.storage(), [&](Range line, Range, const U16String&, const U16String&) {
        heights.push_back(shownKey(e, line.location).empty() ? -1 : lineHeight(e, line.location));
    });
    return heights;
}

TEST(PictureLines, TheyResolveAgainstTheFolderTheDocumentIsSavedIn)
{
    TempDirectory without, with;
    with.write("images/p.png", png(200, 100));
    const U16String text = u"intro\n\n![p](images/p.png)\r\n\nout";
    Editor e(text);
    e.caretAt(u"out");
    e.show();
    const int at = e.find(u"![p]");
    // Never saved: a relative picture has nothing to resolve against and shows its source.
    EXPECT_EQ(shownKey(e, at), "");

    auto saveInto = [&](const TempDirectory& folder) {
        placeIn(e, folder);
        e.host->documentURLChanged();
    };
    saveInto(without);
    EXPECT_EQ(shownKey(e, at), keyIn(without, u"images/p.png"));
    ASSERT_TRUE(waitUntil([&] { return ImageCache::hasFailed(keyIn(without, u"images/p.png")); }));
    saveInto(with);
    EXPECT_EQ(shownKey(e, at), keyIn(with, u"images/p.png"));
    ASSERT_TRUE(waitUntil([&] { return lineHeight(e, at) == 100; }));
    // Back into a folder without the picture: it is unavailable again, at the placeholder's height.
    saveInto(without);
    EXPECT_EQ(shownKey(e, at), keyIn(without, u"images/p.png"));
    EXPECT_EQ(lineHeight(e, at), ImageBlock::placeholderHeight);
    // The caret's line keeps showing its source through a move.
    e.caretAt(u"![p]", 2);
    saveInto(with);
    EXPECT_EQ(shownKey(e, at), "");
    EXPECT_EQ(*e.document, text);
}

TEST(PictureLines, TheyTakeTheHeightANewWidthGivesThem)
{
    TempDirectory folder;
    folder.write("images/wide.png", png(1600, 400));  // as high as a quarter of the width it gets
    folder.write("images/small.png", png(40, 20));    // narrower than any width
    const U16String text = u"![w](images/wide.png)\n\ntext\n\n| A | B |\n| --- | --- |\n| ![c](images/wide.png) | b |\n\n"
                           u"![s](images/small.png)\r\n![w](images/wide.png)\r\n\r\n    ![w](images/wide.png)";
    Editor e(text);
    placeIn(e, folder);
    e.caretAt(u"text");
    e.show();
    const int first = 0;
    ASSERT_TRUE(waitUntil([&] { return ImageCache::cachedImage(keyIn(folder, u"images/wide.png")) && lineHeight(e, first) < 120; }));
    settle();
    auto wholeRestyle = [&] {
        Editor fresh(text);
        placeIn(fresh, folder);
        fresh.caretAt(u"text");
        fresh.host->resize(e.host->size());
        fresh.view().resize(e.view().size());
        fresh.show();
        return pictureHeights(fresh);
    };
    const std::vector<double> before = pictureHeights(e);
    ASSERT_EQ(before.size(), 4u);  // the indented one is code
    for (const QSize size : {QSize(300, 400), QSize(900, 400), QSize(301, 400)}) {
        e.host->resize(size);
        settle();
        const std::vector<double> heights = pictureHeights(e);
        EXPECT_EQ(heights, wholeRestyle()) << size.width();
        EXPECT_EQ(heights[2], 20) << size.width();
        EXPECT_EQ(shownKey(e, e.find(u"    ![w]") + 4), "") << size.width();
        EXPECT_EQ(lineHeight(e, first),
                  ImageBlock::displaySize(QSizeF(1600, 400), MarkdownEditorCoordinator::availableWidth(e.view())).height());
    }
    EXPECT_NE(pictureHeights(e)[0], before[0]);
    // Typing afterwards restyles only what it reaches: the heights stay.
    const std::vector<double> resized = pictureHeights(e);
    type(e.view(), "x");
    EXPECT_EQ(pictureHeights(e), resized);
    EXPECT_EQ(*e.document, U16String(text).insert(text.find(u"text"), u"x"));
}

TEST(PictureLines, AScrollBarThatPicturesBringAndSendAwaySettles)
{
    // A square picture as wide as the view: the scroll bar's width decides whether
    // the text is taller than the view.
    TempDirectory folder;
    folder.write("images/square.png", png(2000, 2000));
    const U16String text = u"![q](images/square.png)\n\nx";
    for (int height = 290; height <= 340; ++height) {
        Editor e(text);
        placeIn(e, folder);
        e.caretAt(u"x");
        e.host->resize(300, height);
        e.show();
        ASSERT_TRUE(waitUntil([&] { return ImageCache::cachedImage(keyIn(folder, u"images/square.png")) != nullptr; }));
        settle();
        // However it ends, it ends: no turn of the event loop changes it any more.
        const std::vector<double> heights = pictureHeights(e);
        const bool bar = e.view().verticalScrollBar()->isVisible();
        for (int turn = 0; turn < 5; ++turn) {
            QApplication::processEvents();
            EXPECT_EQ(pictureHeights(e), heights) << height << " " << turn;
            EXPECT_EQ(e.view().verticalScrollBar()->isVisible(), bar) << height << " " << turn;
        }
        EXPECT_EQ(*e.document, text);
    }
}

// A long document styled in steps: the pictures in the part styled so far take
// the new folder at once, those after it when the steps reach them.
TEST(PictureLines, ALongDocumentStyledInStepsResolvesEveryPictureAfterAMove)
{
    TempDirectory folder;
    folder.write("images/p.png", png(200, 100));
    U16String text;
    for (int i = 0; i < 600; ++i) {
        text += u"Paragraph " + u16(std::to_string(i)) + u" has a few words so that it takes some room.\n\n";
        if (i % 60 == 0)
            text += u"![p](images/p.png)\n\n";
    }
    differential::Editor e(text, {int(text.size()) - 1, 0}, nullptr, 4096);
    MarkdownEditorCoordinator& coordinator = e.host->coordinator();
    ASSERT_TRUE(coordinator.unstyledFrom());
    e.host->setWindowFilePath(QString::fromStdString((folder.path() / "note.md").string()));
    e.host->documentURLChanged();
    const int first = int(e.view().string().find(u"![p]"));
    const std::string key = keyIn(folder, u"images/p.png");
    const auto shown = e.storage().marker<CollapsedImage>(AttributeKey::CollapsedImage, first);
    EXPECT_EQ(shown ? shown->key : "", key);
    ASSERT_TRUE(waitUntil([&] {
        const ParagraphStyle* style = e.storage().paragraphStyle(first);
        return style && style->minimumLineHeight == 100;
    }));
    while (!coordinator.styleAhead(e.view(), 1000)) {
    }
    int pictures = 0;
    ImageBlock::enumerateImageLines(e.storage(), [&](Range line, Range, const U16String&, const U16String&) {
        ++pictures;
        const auto mark = e.storage().marker<CollapsedImage>(AttributeKey::CollapsedImage, line.location);
        EXPECT_EQ(mark ? mark->key : "", key) << line.location;
        EXPECT_EQ(e.storage().paragraphStyle(line.location)->minimumLineHeight, 100) << line.location;
    });
    EXPECT_EQ(pictures, 10);
}

// Pictures that come back after edits moved their lines (a line typed above them,
// one taken out between them) or after the caret showed a line's source and left
// it again: each line shown takes its picture's height where it stands now, as in
// a window opened on the text as it is.
TEST(PictureLines, LoadsThatComeBackAfterEditsFitTheLinesWhereTheyAreNow)
{
    TempDirectory folder;
    U16String text = u"top\n\n";
    for (int i = 0; i < 120; ++i) {
        const std::string n = std::to_string(i);
        folder.write("images/p" + n + ".png", png(300 + i, 100 + i % 7));
        text += u"![p" + u16(n) + u"](images/p" + u16(n) + u".png)\n";
        if (i % 30 == 29)
            text += u"\nbetween " + u16(n) + u"\n\n";
    }
    // The loading threads are held until the edits are made.
    std::promise<void> held;
    const std::shared_future<void> release = held.get_future().share();
    for (int i = 0; i < BackgroundThreads::maxThreads; ++i)
        BackgroundThreads::start([release] { release.wait(); });
    Editor e(text);
    placeIn(e, folder);
    e.caretAt(u"top");
    e.show();
    type(e.view(), "x\n\nmore");
    e.caretAt(u"![p31]", 2);
    e.caretAt(u"between 59");
    key(e.view(), Qt::Key_Home);
    key(e.view(), Qt::Key_Backspace);
    key(e.view(), Qt::Key_Backspace);
    const std::vector<double> waiting = pictureHeights(e);
    EXPECT_EQ(std::count(waiting.begin(), waiting.end(), ImageBlock::placeholderHeight), 119);  // one shows its source
    held.set_value();
    ASSERT_TRUE(waitUntil([&] {
        for (int i = 0; i < 120; ++i)
            if (!ImageCache::pictureSize(keyIn(folder, u"images/p" + u16(std::to_string(i)) + u".png")))
                return false;
        return true;
    }));
    settle();
    Editor fresh(*e.document);
    placeIn(fresh, folder);
    fresh.caretAt(u"between 59");
    fresh.show();
    settle();
    const std::vector<double> heights = pictureHeights(e);
    EXPECT_EQ(heights, pictureHeights(fresh));
    EXPECT_EQ(std::count(heights.begin(), heights.end(), ImageBlock::placeholderHeight), 0);
}

// A line still as high as another width made it shows its picture whole and
// smaller, in proportion.
TEST(PictureLines, ALineLowerThanItsPictureShowsItSmallerNotSquashed)
{
    TempDirectory folder;
    folder.write("images/square.png", png(200, 200));
    Editor e(u"![q](images/square.png)\n\nx");
    placeIn(e, folder);
    e.caretAt(u"x");
    e.show();
    ASSERT_TRUE(waitUntil([&] { return lineHeight(e, 0) == 200; }));
    ImageBlock::setCollapsedHeight(e.storage(), Range{0, 24}, 150);
    e.view().layoutDocument();
    QImage screen(e.view().viewport()->size(), QImage::Format_ARGB32);
    screen.fill(Qt::white);
    {
        QPainter painter(&screen);
        const QRectF visible = e.view().visibleContainerRect();
        e.view().drawContents(painter, visible, -visible.topLeft(), true);
    }
    QRect drawn;
    for (int y = 0; y < screen.height(); ++y)
        for (int x = 0; x < screen.width(); ++x)
            if (screen.pixel(x, y) == QColor(Qt::darkCyan).rgb())
                drawn |= QRect(x, y, 1, 1);
    EXPECT_NEAR(drawn.height(), 150, 1);
    EXPECT_NEAR(drawn.width(), 150, 1);
}

} // namespace
} // namespace velkin
