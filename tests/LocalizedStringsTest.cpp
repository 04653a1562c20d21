#include "platform/DataPaths.h"
#include "platform/strings/LocalizedStrings.h"
#include "platform/text/Utf.h"
#include "selftest/SelfTestContext.h"

#include "TempDirectory.h"

#include <QChar>

#include <gtest/gtest.h>

#include <set>

using namespace velkin;
using namespace velkin::LocalizedStrings;
using velkin::testing::TempDirectory;

namespace {

Table parsed(const char* utf8)
{
    Table::Error error;
    auto table = Table::parse(u16(utf8), &error);
    EXPECT_TRUE(table.has_value()) << "line " << error.line << ": " << error.message;
    return table ? *table : Table();
}

Table::Error parseError(const char* utf8)
{
    Table::Error error;
    EXPECT_FALSE(Table::parse(u16(utf8), &error).has_value());
    return error;
}

} // namespace

TEST(StringsTable, ReadsEntriesBetweenCommentsOfBothKinds)
{
    const Table table = parsed("/* Menu title */\n\"Format\" = \"Formát\";\n"
                               "// a line comment \"Hidden\" = \"no\";\n"
                               "\"Bold\"=\"Fett\" ; /* trailing */ \"Italic\"\t=\n  \"Kursiv\";\n");
    EXPECT_EQ(table.size(), 3u);
    EXPECT_EQ(*table.find(u"Format"), u"Form\u00E1t");
    EXPECT_EQ(*table.find(u"Bold"), u"Fett");
    EXPECT_EQ(*table.find(u"Italic"), u"Kursiv");
    // A key that only appears inside a comment is not defined.
    EXPECT_FALSE(table.contains(u"Hidden"));
}

TEST(StringsTable, DecodesEscapes)
{
    const Table table = parsed(R"("a" = "say \"hi\"\\ \n\t!"; "b" = "\U00e9\U2026"; "c" = "\UD83D\UDE00"; "d" = "it\'s";)");
    EXPECT_EQ(*table.find(u"a"), u"say \"hi\"\\ \n\t!");
    EXPECT_EQ(*table.find(u"b"), u"\u00E9\u2026");
    EXPECT_EQ(*table.find(u"c"), u"\U0001F600");
    EXPECT_EQ(*table.find(u"d"), u"it's");
}

TEST(StringsTable, KeyAloneStandsForItselfAndLaterEntriesWin)
{
    const Table table = parsed("\"OK\";\n\"Open\" = \"A\";\n\"Open\" = \"B\";");
    EXPECT_EQ(*table.find(u"OK"), u"OK");
    EXPECT_EQ(*table.find(u"Open"), u"B");
}

TEST(StringsTable, EmptyTextsAndByteOrderMarkAreFine)
{
    EXPECT_EQ(parsed("").size(), 0u);
    EXPECT_EQ(parsed("  /* only a comment */ // and another").size(), 0u);
    EXPECT_EQ(*parsed("\xEF\xBB\xBF\"k\" = \"v\";").find(u"k"), u"v");
    EXPECT_EQ(*parsed("\"\" = \"\";").find(u""), u"");
}

TEST(StringsTable, MalformedTablesSayWhereTheyBreak)
{
    EXPECT_EQ(parseError("\"a\" = \"b\";\n\"c\" = \"d\"\n").line, 2);        // no semicolon
    EXPECT_EQ(parseError("\"a\" = \"b\";\n\n\"open string = \"x\";").line, 3);
    EXPECT_EQ(parseError("\"a\" \"b\";").line, 1);                          // no equals sign
    EXPECT_EQ(parseError("\"a\" = b;").line, 1);                             // value not quoted
    EXPECT_EQ(parseError("/* never closed\n\"a\" = \"b\";").line, 1);
    EXPECT_EQ(parseError("\"a\" = \"\\U12\";").line, 1);                     // short \U escape
    EXPECT_FALSE(parseError("\"a\" = \"b\"").message.empty());
    EXPECT_FALSE(Table::parse(u"\"a\" = \"b\\").has_value());               // backslash at the very end
}

TEST(StringsTable, LoadRejectsMissingAndNonUtf8Files)
{
    TempDirectory dir;
    Table::Error error;
    EXPECT_FALSE(Table::load(dir.path() / "absent.strings", &error).has_value());
    EXPECT_FALSE(error.message.empty());
    // The same table saved as UTF-16 is not accepted.
    const auto utf16 = dir.write("utf16.strings", std::string("\xFF\xFE\"\0a\0\"\0", 8));
    EXPECT_FALSE(Table::load(utf16).has_value());
    EXPECT_FALSE(Table::load(dir.path()).has_value());  // a folder
    const auto good = dir.write("good.strings", "\"k\" = \"v\";");
    ASSERT_TRUE(Table::load(good).has_value());
}

TEST(StringsFormat, FillsSequentialAndPositionalDirectives)
{
    EXPECT_EQ(format(u"%lld results", {7}), u"7 results");
    EXPECT_EQ(format(u"Heading %lld", {-3LL}), u"Heading -3");
    EXPECT_EQ(format(u"%@ words, %@ characters", {u"1,234", u"5"}), u"1,234 words, 5 characters");
    EXPECT_EQ(format(u"%2$@ Zeichen, %1$@ W\u00F6rter", {u"12", u"80"}), u"80 Zeichen, 12 W\u00F6rter");
    EXPECT_EQ(format(u"%d%% of %ld/%llu/%i/%u", {50, 1, 2, 3, 4}), u"50% of 1/2/3/4");
    EXPECT_EQ(format(u"%@", {42}), u"42");
}

TEST(StringsFormat, LeavesWhatItCannotFillAsWritten)
{
    EXPECT_EQ(format(u"%@ and %@", {u"one"}), u"one and %@");
    EXPECT_EQ(format(u"%3$@", {u"a"}), u"%3$@");
    EXPECT_EQ(format(u"%0$@", {u"a"}), u"%0$@");
    EXPECT_EQ(format(u"100%", {}), u"100%");
    EXPECT_EQ(format(u"%x %s %lll", {1}), u"%x %s %lll");
    EXPECT_EQ(format(u"%", {1}), u"%");
    EXPECT_EQ(format(u"%99999999999$@", {u"a"}), u"%99999999999$@");
}

TEST(StringsLanguage, ChoosesTheClosestAvailableLanguage)
{
    const std::vector<std::string> available{"de", "en", "pt-BR", "zh-Hans"};
    EXPECT_EQ(chooseLanguage({"de-AT", "en"}, available), "de");
    EXPECT_EQ(chooseLanguage({"pt_BR"}, available), "pt-BR");
    EXPECT_EQ(chooseLanguage({"pt"}, available), "en");
    EXPECT_EQ(chooseLanguage({"zh-Hans-CN"}, available), "zh-Hans");
    EXPECT_EQ(chooseLanguage({"ZH-hans"}, available), "zh-Hans");
    EXPECT_EQ(chooseLanguage({"C"}, available), "en");
    EXPECT_EQ(chooseLanguage({"fr", "de"}, available), "de");
    EXPECT_EQ(chooseLanguage({"fr"}, {"de"}), "");
    EXPECT_EQ(chooseLanguage({}, {}), "");
}

TEST(StringsCatalog, FallsBackToEnglishThenTheDefaultThenTheKey)
{
    TempDirectory dir;
    dir.write("en.lproj/Localizable.strings", "\"Bold\" = \"Bold\";\n\"openURLTitle\" = \"Open from URL\";\n");
    dir.write("de.lproj/Localizable.strings", "\"Bold\" = \"Fett\";\n");
    dir.write("fr.lproj/Localizable.strings", "\"Bold\" = \"Gras\"\n");  // broken: no semicolon
    dir.write("notes.txt", "not a language");

    EXPECT_EQ(availableLanguages(dir.path()), (std::vector<std::string>{"de", "en", "fr"}));

    const Catalog german(dir.path(), {"de-DE"});
    EXPECT_EQ(german.language(), "de");
    EXPECT_EQ(german.text(u"Bold"), u"Fett");
    EXPECT_EQ(german.text(u"openURLTitle"), u"Open from URL");
    EXPECT_EQ(german.text(u"helpSearchPrompt", u"Search Help"), u"Search Help");
    EXPECT_EQ(german.text(u"Back"), u"Back");

    // A table that does not parse gives way to English rather than showing keys.
    const Catalog french(dir.path(), {"fr"});
    EXPECT_EQ(french.language(), "fr");
    EXPECT_EQ(french.text(u"Bold"), u"Bold");

    const Catalog nothing(dir.path() / "missing", {"de"});
    EXPECT_EQ(nothing.language(), "");
    EXPECT_EQ(nothing.text(u"Bold", u"Default"), u"Default");
}

TEST(StringsCatalog, SharedLookupAlwaysAnswers)
{
    EXPECT_EQ(text(u"a key no table has"), u"a key no table has");
    EXPECT_EQ(text(u"a key no table has", u"its default"), u"its default");
}

// The shipped translations: each parses and defines every key the interface needs.
TEST(ShippedTranslations, EveryTableParsesAndHasEveryRequiredKey)
{
    const auto folder = DataPaths::findFolder("Localization");
    if (!folder)
        GTEST_SKIP() << "no Localization folder";
    const auto languages = availableLanguages(*folder);
    EXPECT_GE(languages.size(), 7u);
    for (const std::string& language : languages) {
        Table::Error error;
        const auto table = Table::load(*folder / (language + ".lproj") / "Localizable.strings", &error);
        ASSERT_TRUE(table.has_value()) << language << " line " << error.line << ": " << error.message;
        for (const U16String& key : requiredTranslationKeys())
            EXPECT_TRUE(table->contains(key)) << language << " lacks " << u8(key);
        const U16String* wordCount = table->find(u"wordCountFormat");
        ASSERT_NE(wordCount, nullptr) << language;
        EXPECT_NE(wordCount->find(u"%1$@"), U16String::npos) << language;
        EXPECT_NE(wordCount->find(u"%2$@"), U16String::npos) << language;
        // The count format fills in both numbers.
        const U16String filled = format(*wordCount, {u"111", u"222"});
        EXPECT_NE(filled.find(u"111"), U16String::npos) << language;
        EXPECT_NE(filled.find(u"222"), U16String::npos) << language;
    }
}

// Every top-level menu has an access key in every language, no two alike in one
// menu bar (a clash would make Alt open the wrong menu), and the find bar's
// count fills in both of its numbers.
TEST(ShippedTranslations, MenuAccessKeysAreUniqueAndTheFindCountShowsBothNumbers)
{
    const auto folder = DataPaths::findFolder("Localization");
    if (!folder)
        GTEST_SKIP() << "no Localization folder";
    for (const std::string& language : availableLanguages(*folder)) {
        const auto table = Table::load(*folder / (language + ".lproj") / "Localizable.strings");
        ASSERT_TRUE(table.has_value()) << language;
        std::set<char16_t> keys;
        for (const char16_t* menu : {u"menuFile", u"menuEdit", u"menuView", u"menuInsert", u"menuFormat", u"menuHelp"}) {
            const U16String* title = table->find(menu);
            ASSERT_NE(title, nullptr) << language << " " << u8(menu);
            const size_t amp = title->find(u'&');
            ASSERT_TRUE(amp != U16String::npos && amp + 1 < title->size()) << language << " " << u8(*title);
            const char16_t letter = char16_t(QChar((*title)[amp + 1]).toUpper().unicode());
            EXPECT_TRUE(keys.insert(letter).second) << language << ": access key of " << u8(*title) << " repeats";
        }
        // Within each menu, and each dialog's buttons, every item has a key of its own.
        const std::vector<std::vector<const char16_t*>> groups = {
            {u"itemBold", u"itemItalic", u"itemUnderline", u"itemStrikethrough", u"itemInlineCode", u"itemSubscript",
             u"itemSuperscript", u"itemHeading", u"itemFormatTable"},
            {u"itemBodyText", u"itemHeadingLevel"},
            {u"itemAddRow", u"itemAddColumn", u"itemColumnAlignment"},
            {u"itemLeft", u"itemCenter", u"itemRight"},
            {u"itemLink", u"itemImage", u"itemInsertTable", u"itemHorizontalRule"},
            {u"itemExportPDF", u"itemExportHTML", u"itemExportRTF"},
            {u"buttonSave", u"buttonDontSave", u"buttonCancel"},
            {u"buttonOverwrite", u"buttonReloadEllipsis", u"buttonCancel"},
            {u"buttonReload", u"buttonCancel"},
            {u"buttonRevert", u"buttonCancel"},
            {u"buttonReplace", u"buttonCancel"},
            {u"buttonOpen", u"buttonCancel"},
            {u"buttonSaveAs", u"buttonCancel"},
        };
        for (const auto& group : groups) {
            std::set<char16_t> taken;
            for (const char16_t* key : group) {
                const U16String* title = table->find(key);
                ASSERT_NE(title, nullptr) << language << " " << u8(key);
                const size_t amp = title->find(u'&');
                ASSERT_TRUE(amp != U16String::npos && amp + 1 < title->size() && (*title)[amp + 1] != u'&')
                    << language << " " << u8(*title);
                // The heading levels take their digits.
                if ((*title)[amp + 1] == u'%')
                    continue;
                const char16_t letter = char16_t(QChar((*title)[amp + 1]).toUpper().unicode());
                EXPECT_TRUE(taken.insert(letter).second) << language << ": access key of " << u8(*title) << " repeats";
            }
        }
        const U16String* position = table->find(u"findMatchPosition");
        ASSERT_NE(position, nullptr) << language;
        const U16String filled = format(*position, {3, 12});
        EXPECT_NE(filled.find(u"3"), U16String::npos) << language;
        EXPECT_NE(filled.find(u"12"), U16String::npos) << language;
    }
}
