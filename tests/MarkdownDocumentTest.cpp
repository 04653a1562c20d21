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
