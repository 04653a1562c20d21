#include "app/MarkdownDocument.h"
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

using namespace velkin;
namespace fs = std::filesystem;

TEST(MarkdownDocument, ValidUtf8RoundTripsByteForByte)
{
    const std::string bytes = "# T\xC3\xADtulo\r\nline\n\n\xF0\x9F\x9A\x80 no final newline";
    EXPECT_EQ(MarkdownDocument::fromData(bytes).data(), bytes);
    EXPECT_EQ(MarkdownDocument{}.data(), "");
}

TEST(MarkdownDocument, InvalidBytesAreRepairedNotDropped)
{
    const MarkdownDocument document = MarkdownDocument::fromData("ab\xE9" "cd");
    EXPECT_EQ(document.text, u"ab\uFFFDcd");
    EXPECT_EQ(document.data(), "ab\xEF\xBF\xBD" "cd");
    EXPECT_EQ(MarkdownDocument::fromData("\xFF\xFE").text, u"\uFFFD\uFFFD");
}

TEST(MarkdownDocument, AByteOrderMarkIsSetApartFromTheTextAndWrittenBack)
{
    const std::string mark = "\xEF\xBB\xBF";
    struct Case {
        std::string bytes;
        U16String text;
        bool repaired;
    };
    const Case cases[] = {
        {mark + "# Title\r\n\r\n| a | b |\r\n", u"# Title\r\n\r\n| a | b |\r\n", false},
        {mark, u"", false},
        {mark + "caf\xE9", u"caf\uFFFD", true},
        // Only the first is a mark; a second is the text's own character.
        {mark + mark + "x", u"\uFEFFx", false},
        {"a" + mark, u"a\uFEFF", false},
    };
    for (const Case& c : cases) {
        bool repaired = false;
        const MarkdownDocument document = MarkdownDocument::fromData(c.bytes, &repaired);
        EXPECT_EQ(document.text, c.text) << c.bytes;
        EXPECT_EQ(document.byteOrderMark, c.bytes.starts_with(mark)) << c.bytes;
        EXPECT_EQ(repaired, c.repaired) << c.bytes;
        if (!c.repaired) {
            EXPECT_EQ(document.data(), c.bytes);
        }
    }
    EXPECT_EQ(MarkdownDocument::fromData(mark + "caf\xE9").data(), mark + "caf\xEF\xBF\xBD");
    // A mark cut short is not one: its bytes are repaired like any others.
    const MarkdownDocument cut = MarkdownDocument::fromData("\xEF\xBB# T");
    EXPECT_FALSE(cut.byteOrderMark);
    EXPECT_EQ(cut.text, u"\uFFFD# T");
}

TEST(MarkdownDocument, DecodingAgreesWithThePlatformOnEveryEdge)
{
    const std::string cases[] = {
        "",
        "plain ASCII that runs past eight bytes",
        "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x9A\x80",
        "overlong \xC0\xAF slash",
        "overlong \xE0\x80\xAF three",
        "surrogate \xED\xA0\x80 half",
        "past the top \xF4\x90\x80\x80",
        "truncated at the end \xE2\x82",
        "lone continuation \x80 byte",
        "\xF5\x80\x80\x80 too high a lead",
        std::string("nul \0 inside", 13),
    };
    for (const std::string& bytes : cases) {
        const auto strict = decodeUtf8Strict(bytes);
        EXPECT_EQ(MarkdownDocument::fromData(bytes).text, strict ? *strict : u16(bytes)) << bytes;
    }
}

TEST(MarkdownDocument, ReadingReportsWhatIsNotAReadableFile)
{
    const fs::path folder = fs::temp_directory_path() / ("velkin-doc-read-test-" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::string error;
    EXPECT_FALSE(MarkdownDocument::read(folder / "missing.md", &error));
    EXPECT_NE(error.find("missing.md"), std::string::npos);
    EXPECT_FALSE(MarkdownDocument::read(folder, &error));
    std::ofstream(folder / "bad.md", std::ios::binary) << "x\x80y";
    const auto document = MarkdownDocument::read(folder / "bad.md");
    ASSERT_TRUE(document);
    EXPECT_EQ(document->text, u"x\uFFFDy");
    std::ofstream(folder / "empty.md", std::ios::binary);
    EXPECT_EQ(MarkdownDocument::read(folder / "empty.md")->text, u"");
    fs::remove_all(folder);
}

TEST(MarkdownDocument, MarkdownTypeComesFirstAndIsPlainText)
{
    const auto readable = MarkdownDocument::readableContentTypes();
    ASSERT_EQ(readable.size(), 2u);
    EXPECT_EQ(readable[0], ContentType::velkinMarkdown());
    EXPECT_EQ(readable[1], ContentType::plainText());
    EXPECT_EQ(MarkdownDocument::writableContentTypes(), readable);
    EXPECT_TRUE(ContentType::velkinMarkdown().conformsTo(ContentType::plainText()));
    EXPECT_FALSE(ContentType::plainText().conformsTo(ContentType(QStringLiteral("image/png"))));
}
