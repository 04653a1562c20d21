// Link addresses and task items on their way into PDF and RTF.
#include "TempDirectory.h"
#include "export/Export.h"
#include "export/PageImport.h"
#include "platform/richtext/PDFPage.h"
#include "platform/text/Utf.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextList>

#include <gtest/gtest.h>

#include <random>

using namespace velkin;

TEST(PDFPage, LinkAddressesKeepOnlyPlainURICharacters)
{
    EXPECT_EQ(PDFPage::plainLinkAddress(QStringLiteral("https://e.com/a_(b)")), QStringLiteral("https://e.com/a_%28b%29"));
    EXPECT_EQ(PDFPage::plainLinkAddress(QStringLiteral("a\\b c")), QStringLiteral("a%5Cb%20c"));
    EXPECT_EQ(PDFPage::plainLinkAddress(QStringLiteral("https://\u00e9.com/?q=1&r=%41#x")),
              QStringLiteral("https://%C3%A9.com/?q=1&r=%41#x"));
    // A "%" that begins no escape is encoded itself.
    EXPECT_EQ(PDFPage::plainLinkAddress(QStringLiteral("100%")), QStringLiteral("100%25"));
    EXPECT_EQ(PDFPage::plainLinkAddress(QStringLiteral("#fn-1")), QStringLiteral("#fn-1"));
}

TEST(PDFPage, RandomLinkAddressesGiveFilesThatCheckClean)
{
    const QString qpdf = QStandardPaths::findExecutable(QStringLiteral("qpdf"));
    if (qpdf.isEmpty())
        GTEST_SKIP() << "qpdf is not installed";
    static const std::vector<U16String> pieces = {
        u"https://e.com/", u"a", u"_", u"(", u")", u"(b)", u"\\", u"%", u"%20", u"\u00e9", u"\u00fc", u"\u4e2d",
        u"\U0001F600", u"#", u"?q=", u"&", u"'", u"\"", u"<", u">", u"[", u"]", u"*", u"~", u"`", u"\t", u"|"};
    std::mt19937 rng(1207);
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    velkin::testing::TempDirectory folder;
    for (int round = 0; round < 12; ++round) {
        U16String markdown;
        for (int link = 0; link < 8; ++link) {
            U16String address;
            const int length = link == 7 ? 3000 : 1 + int(rng() % 12);
            while (int(address.size()) < length)
                address += pieces[pick(rng)];
            U16String text;
            for (int k = 0; k < 3; ++k)
                text += pieces[pick(rng)];
            // Inline, angle-bracketed and reference forms.
            markdown += u"[t" + text + u"](" + address + u") [u](<" + address + u">) [v][r" + U16String(1, char16_t(u'a' + link))
                        + u"]\n\n[r" + U16String(1, char16_t(u'a' + link)) + u"]: " + address + u"\n\n";
        }
        const auto path = folder.path() / ("links" + std::to_string(round) + ".pdf");
        ASSERT_FALSE(Export::write(markdown, path, ExportFormat::pdf, MarkdownHTML::Options{}));
        QProcess check;
        check.start(qpdf, QStringList{QStringLiteral("--check"), QString::fromStdString(path.string())});
        ASSERT_TRUE(check.waitForFinished(60000));
        EXPECT_EQ(check.exitCode(), 0) << u8(markdown) << "\n" << check.readAllStandardError().toStdString();
    }
}

TEST(PageImport, TaskItemsShowTheirBoxWithoutABullet)
{
    const U16String page = MarkdownHTML::document(u"- [x] done\n- [ ] open\n- plain\n\n1. [ ] numbered\n2. two",
                                                  MarkdownHTML::Options{});
    const auto document = PageImport::load(page);
    int tasks = 0;
    int listed = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        if (text.startsWith(QChar(0x2610)) || text.startsWith(QChar(0x2611))) {
            ++tasks;
            EXPECT_EQ(block.textList(), nullptr) << text.toStdString();
            EXPECT_GE(block.blockFormat().indent(), 1);
        } else if (text.trimmed() == QStringLiteral("plain") || text.trimmed() == QStringLiteral("2. two")
                   || text == QStringLiteral("1. \u2610 numbered")) {
            // A numbered task item keeps its number, before its box.
            ++listed;
            EXPECT_NE(block.textList(), nullptr) << text.toStdString();
        }
    }
    EXPECT_EQ(tasks, 2);
    EXPECT_EQ(listed, 3);
}
