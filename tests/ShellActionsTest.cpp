// Editor actions on their way to a widget, the interface symbols and the
// export dialog's proposals.
#include "app/CommandLine.h"
#include "app/EditorAction.h"
#include "editor/ExportPanel.h"
#include "platform/symbols/SymbolImage.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

using namespace velkin;

namespace {

// Answers two actions and records what reached it.
class Receiver : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    std::vector<std::pair<std::string, int>> received;

    Q_INVOKABLE void mdBold(int tag) { received.emplace_back("mdBold", tag); }
    Q_INVOKABLE void mdApplyHeading(int tag) { received.emplace_back("mdApplyHeading", tag); }
};

} // namespace

TEST(EditorAction, TravelsFromTheFocusedWidgetToTheFirstThatAnswers)
{
    QWidget window;
    auto* receiver = new Receiver(&window);
    auto* field = new QLineEdit(receiver);
    auto* layout = new QVBoxLayout(receiver);
    layout->addWidget(field);
    window.show();
    field->setFocus();
    ASSERT_EQ(window.focusWidget(), field);

    EXPECT_TRUE(EditorAction::sendInWindow(&window, "mdApplyHeading", 3));
    EXPECT_TRUE(EditorAction::sendInWindow(&window, "mdBold"));
    ASSERT_EQ(receiver->received.size(), 2u);
    EXPECT_EQ(receiver->received[0], std::make_pair(std::string("mdApplyHeading"), 3));
    EXPECT_EQ(receiver->received[1], std::make_pair(std::string("mdBold"), 0));

    // Nobody answers: the action is dropped.
    EXPECT_FALSE(EditorAction::sendInWindow(&window, "mdItalic", 0));
    EXPECT_FALSE(EditorAction::sendTo(nullptr, "mdBold", 0));
    EXPECT_FALSE(EditorAction::sendInWindow(nullptr, "mdBold", 0));
    EXPECT_EQ(receiver->received.size(), 2u);
    EXPECT_TRUE(EditorAction::answers(receiver, "mdBold"));
    EXPECT_FALSE(EditorAction::answers(field, "mdBold"));
}

TEST(SymbolImage, InterfaceSymbolsDraw)
{
    for (const char* name : {"bold", "italic", "underline", "strikethrough", "chevron.left.forwardslash.chevron.right",
                             "link", "minus", "tablecells", "list.bullet", "questionmark.circle", "chevron.backward",
                             "chevron.forward"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SymbolImage::exists(name));
        for (SymbolWeight weight : {SymbolWeight::Regular, SymbolWeight::Bold}) {
            QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            EXPECT_TRUE(SymbolImage::draw(painter, name, QRectF(4, 4, 32, 32), Qt::black, weight));
            painter.end();
            int inked = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    inked += qAlpha(image.pixel(x, y)) > 128;
            // Drawn, and not a filled box.
            EXPECT_GT(inked, 20);
            EXPECT_LT(inked, 32 * 32 * 3 / 4);
        }
    }
}

TEST(ExportPanel, ProposesTheDocumentsNameAndFolder)
{
    EXPECT_EQ(ExportPanel::proposedFileName(ExportFormat::pdf, std::nullopt), "Untitled.pdf");
    EXPECT_EQ(ExportPanel::proposedFileName(ExportFormat::html, std::nullopt), "Untitled.html");
    EXPECT_EQ(ExportPanel::proposedFileName(ExportFormat::html, std::filesystem::path("/a/b/Report.md")), "Report.html");
    EXPECT_EQ(ExportPanel::proposedFileName(ExportFormat::rtf, std::filesystem::path("/a/b/notes.v2.md")), "notes.v2.rtf");

    const MarkdownHTML::Options unsaved = ExportPanel::presentedOptions(std::nullopt, MarkdownFontFamily::serif);
    EXPECT_EQ(unsaved.title, u"Untitled");
    EXPECT_EQ(unsaved.family, MarkdownFontFamily::serif);
    EXPECT_FALSE(unsaved.baseURL.has_value());
    EXPECT_TRUE(unsaved.embedsImages);

    const MarkdownHTML::Options saved =
        ExportPanel::presentedOptions(std::filesystem::path("/a/b/Report.md"), MarkdownFontFamily::sansSerif);
    EXPECT_EQ(saved.title, u"Report");
    ASSERT_TRUE(saved.baseURL.has_value());
    EXPECT_EQ(saved.baseURL->path(), "/a/b/Report.md");
}

TEST(CommandLine, OpensTheArgumentsThatAreNeitherOptionsNorOperands)
{
    using Args = std::vector<std::string>;
    EXPECT_EQ(CommandLine::documentArguments({"velkin"}), Args{});
    EXPECT_EQ(CommandLine::documentArguments({"velkin", "a.md", "notes/b.md"}), (Args{"a.md", "notes/b.md"}));
    // Options are not files, and neither are the operands of a mode that had too few to run.
    EXPECT_EQ(CommandLine::documentArguments({"velkin", "--render", "only-one"}), Args{});
    EXPECT_EQ(CommandLine::documentArguments({"velkin", "a.md", "--export", "x"}), Args{"a.md"});
    EXPECT_EQ(CommandLine::documentArguments({"velkin", "--serif", "a.md", "--bare"}), Args{"a.md"});
    EXPECT_EQ(CommandLine::documentArguments({"velkin", "./-dash.md"}), Args{"./-dash.md"});
    // Qt has taken its own options (-reverse) out by then: a name with a dash is a file, and
    // "--" ends the options, so nothing after it is one.
    EXPECT_EQ(CommandLine::documentArguments({"velkin", "-dash.md"}), Args{"-dash.md"});
    EXPECT_EQ(CommandLine::documentArguments({"velkin", "--", "-dash.md", "--bare", "--"}), (Args{"-dash.md", "--bare", "--"}));
    EXPECT_EQ(CommandLine::options({"velkin", "--", "--selftest"}), Args{"velkin"});
    // A "--" that is a mode's operand is its operand.
    EXPECT_EQ(CommandLine::options({"velkin", "--export", "--", "x.html", "--", "y"}), (Args{"velkin", "--export", "--", "x.html"}));
}

#include "ShellActionsTest.moc"
