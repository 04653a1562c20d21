#include "highlight/CodeHighlighter.h"
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

using namespace velkin;
namespace CH = velkin::CodeHighlighter;

namespace {

using K = CodeTokenKind;

// Text and kind of every token, for readable expectations.
std::vector<std::pair<U16String, K>> scan(U16View code, U16View language)
{
    const CH::LanguageRules* rules = CH::rules(language);
    EXPECT_NE(rules, nullptr) << u8(language);
    std::vector<std::pair<U16String, K>> out;
    if (!rules)
        return out;
    for (const auto& t : CH::tokens(code, *rules))
        out.emplace_back(U16String(substring(code, t.range)), t.kind);
    return out;
}

using Pairs = std::vector<std::pair<U16String, K>>;

// The scanner's contract: ascending, non-overlapping, non-empty, inside the text.
void expectWellFormed(const CodeTokens& tokens, int length)
{
    int previousEnd = 0;
    for (const auto& t : tokens) {
        ASSERT_GE(t.range.location, previousEnd);
        ASSERT_GE(t.range.length, 1);
        ASSERT_LE(t.range.end(), length);
        previousEnd = t.range.end();
    }
}

} // namespace

// ---- Scanner ----

TEST(RuleScanner, EmptyAndBlankTextsGiveNoTokens)
{
    EXPECT_TRUE(scan(u"", u"swift").empty());
    EXPECT_TRUE(scan(u" \t\r\n  \n", u"swift").empty());
}

TEST(RuleScanner, CoffeeScriptBlockOpenerBeatsTheShorterLinePrefix)
{
    EXPECT_EQ(scan(u"### a ###", u"coffeescript"), (Pairs{{u"### a ###", K::comment}}));
    EXPECT_EQ(scan(u"### block ###\n# note", u"coffee"),
              (Pairs{{u"### block ###", K::comment}, {u"# note", K::comment}}));
    // An unterminated block runs to the end of the text.
    EXPECT_EQ(scan(u"###\nx = 1", u"coffeescript"), (Pairs{{u"###\nx = 1", K::comment}}));
}

TEST(RuleScanner, PythonTripleQuotesSpanLinesAndSingleQuotesStopAtTheLineEnd)
{
    EXPECT_EQ(scan(u"\"\"\"a\nb\"\"\" x", u"python"), (Pairs{{u"\"\"\"a\nb\"\"\"", K::string}}));
    EXPECT_EQ(scan(u"\"abc\nNone", u"python"), (Pairs{{u"\"abc", K::string}, {u"None", K::keyword}}));
}

TEST(RuleScanner, EscapesKeepQuotesAndLineEndsInsideTheLiteral)
{
    EXPECT_EQ(scan(u"\"a\\\"b\"", u"c"), (Pairs{{u"\"a\\\"b\"", K::string}}));
    EXPECT_EQ(scan(u"\"a\\\nb\" int", u"c"), (Pairs{{u"\"a\\\nb\"", K::string}, {u"int", K::keyword}}));
    // A backslash as the very last unit ends the literal at the end of the text.
    EXPECT_EQ(scan(u"\"a\\", u"c"), (Pairs{{u"\"a\\", K::string}}));
}

TEST(RuleScanner, UnterminatedBlockCommentRunsToTheEnd)
{
    EXPECT_EQ(scan(u"int /* open\nint", u"c"), (Pairs{{u"int", K::keyword}, {u"/* open\nint", K::comment}}));
}

TEST(RuleScanner, RustCharacterLiteralsAndLifetimes)
{
    EXPECT_EQ(scan(u"'x'", u"rust"), (Pairs{{u"'x'", K::string}}));
    EXPECT_EQ(scan(u"'\\n'", u"rust"), (Pairs{{u"'\\n'", K::string}}));
    EXPECT_EQ(scan(u"'a fn", u"rust"), (Pairs{{u"fn", K::keyword}}));
    EXPECT_TRUE(scan(u"fn f<'a>(x: &'a str) {}", u"rust").size() == 2);  // fn and str
}

TEST(RuleScanner, CharacterLiteralOpenerAtTheEndOfTheText)
{
    // The unit after the opener does not exist: no literal, no read past the end.
    EXPECT_TRUE(scan(u"'", u"rust").empty());
    EXPECT_TRUE(scan(u"'\\", u"rust").empty());
    EXPECT_TRUE(scan(u"'x", u"rust").empty());
}

TEST(RuleScanner, NumberForms)
{
    EXPECT_EQ(scan(u"0x1F", u"c"), (Pairs{{u"0x1F", K::number}}));
    EXPECT_EQ(scan(u"0b10zz", u"c"), (Pairs{{u"0b10zz", K::number}}));
    EXPECT_EQ(scan(u"1_000", u"c"), (Pairs{{u"1_000", K::number}}));
    EXPECT_EQ(scan(u"3.14e-10", u"c"), (Pairs{{u"3.14e-10", K::number}}));
    EXPECT_EQ(scan(u"1e", u"c"), (Pairs{{u"1e", K::number}}));
    EXPECT_EQ(scan(u"1e+", u"c"), (Pairs{{u"1e+", K::number}}));
    EXPECT_EQ(scan(u".5", u"c"), (Pairs{{u".5", K::number}}));
    EXPECT_EQ(scan(u"10u8", u"rust"), (Pairs{{u"10u", K::number}, {u"8", K::number}}));
    EXPECT_EQ(scan(u"1.foo", u"c"), (Pairs{{u"1", K::number}}));
    EXPECT_EQ(scan(u"1.", u"c"), (Pairs{{u"1", K::number}}));
    EXPECT_EQ(scan(u"0", u"c"), (Pairs{{u"0", K::number}}));
    EXPECT_EQ(scan(u"0x", u"c"), (Pairs{{u"0x", K::number}}));
}

TEST(RuleScanner, AttributeSigils)
{
    EXPECT_EQ(scan(u"@MainActor", u"swift"), (Pairs{{u"@MainActor", K::keyword}}));
    EXPECT_EQ(scan(u"@:keep", u"haxe"), (Pairs{{u"@:keep", K::keyword}}));
    EXPECT_TRUE(scan(u"@ x", u"swift").empty());
    EXPECT_TRUE(scan(u"@", u"swift").empty());
    EXPECT_TRUE(scan(u"@:", u"haxe").empty());
}

TEST(RuleScanner, CaseInsensitiveKeywordsAndCapitalisedTypes)
{
    for (U16View word : {u"select", u"Select", u"SELECT"})
        EXPECT_EQ(scan(word, u"sql"), (Pairs{{U16String(word), K::keyword}}));
    EXPECT_EQ(scan(u"Self Point point", u"swift"), (Pairs{{u"Self", K::keyword}, {u"Point", K::type}}));
    // No type switch in C: capitalised names stay plain.
    EXPECT_TRUE(scan(u"Point", u"c").empty());
}

TEST(RuleScanner, IdentifierBoundaries)
{
    EXPECT_TRUE(scan(u"ifx", u"c").empty());
    EXPECT_EQ(scan(u"END-IF", u"cobol"), (Pairs{{u"END-IF", K::keyword}}));
    EXPECT_EQ(scan(u"if-not", u"clojure"), (Pairs{{u"if", K::keyword}, {u"not", K::keyword}}));
    // A non-ASCII letter ends an identifier and is stepped over.
    EXPECT_EQ(scan(u"caf\u00e9 int", u"c"), (Pairs{{u"int", K::keyword}}));
    EXPECT_EQ(scan(u"\u00e9if", u"c"), (Pairs{{u"if", K::keyword}}));
}

TEST(RuleScanner, LineCommentAnywhereOnALineAndCarriageReturnInside)
{
    EXPECT_EQ(scan(u"x = 1 # c\r\nNone", u"python"),
              (Pairs{{u"1", K::number}, {u"# c\r", K::comment}, {u"None", K::keyword}}));
}

TEST(RuleScanner, MatchesNeedsTheWholeDelimiterInsideTheText)
{
    EXPECT_TRUE(CH::matches(u"a*/", u"*/", 1));
    EXPECT_FALSE(CH::matches(u"a*", u"*/", 1));
    EXPECT_FALSE(CH::matches(u"abc", u"", 0));
    EXPECT_FALSE(CH::matches(u"abc", u"a", -1));
    EXPECT_FALSE(CH::matches(u"abc", u"c", 3));
}

TEST(RuleScanner, WordsSplitsAtSpacesAndLineFeedsAndCollapsesDuplicates)
{
    EXPECT_EQ(CH::words(u"a b\nc  a\n"), (std::vector<U16View>{u"a", u"b", u"c"}));
    EXPECT_TRUE(CH::words(u"").empty());
}

// ---- Rule table ----

TEST(LanguageRules, LatexCommandsCommentsAndEscapedPercent)
{
    EXPECT_EQ(scan(u"\\section{Hi} 12 % c", u"latex"),
              (Pairs{{u"\\section", K::keyword}, {u"12", K::number}, {u"% c", K::comment}}));
    EXPECT_EQ(scan(u"\\% rest", u"tex"), (Pairs{{u"% rest", K::comment}}));
    EXPECT_TRUE(scan(u"\"quoted\"", u"latex").empty());
}

TEST(LanguageRules, SqlApostropheStringsHaveNoEscape)
{
    EXPECT_EQ(scan(u"'a\\' FROM", u"sql"), (Pairs{{u"'a\\'", K::string}, {u"FROM", K::keyword}}));
}

TEST(LanguageRules, PascalBracesAndForthParenthesesAreComments)
{
    EXPECT_EQ(scan(u"{ note\n} BEGIN", u"pascal"), (Pairs{{u"{ note\n}", K::comment}, {u"BEGIN", K::keyword}}));
    EXPECT_EQ(scan(u"( stack ) dup \\ rest", u"forth"),
              (Pairs{{u"( stack )", K::comment}, {u"dup", K::keyword}, {u"\\ rest", K::comment}}));
}

TEST(LanguageRules, QuotationMarkConventions)
{
    EXPECT_EQ(scan(u"\" note", u"vim"), (Pairs{{u"\" note", K::comment}}));
    EXPECT_EQ(scan(u"DATA \" note", u"abap"), (Pairs{{u"DATA", K::keyword}, {u"\" note", K::comment}}));
    EXPECT_EQ(scan(u"\"c\" 'hi'", u"smalltalk"), (Pairs{{u"\"c\"", K::comment}, {u"'hi'", K::string}}));
    EXPECT_EQ(scan(u"(a\nb) def", u"postscript"), (Pairs{{u"(a\nb)", K::string}, {u"def", K::keyword}}));
}

TEST(LanguageRules, TurtleVerilogVisualBasicAndProlog)
{
    EXPECT_EQ(scan(u"a", u"turtle"), (Pairs{{u"a", K::keyword}}));
    EXPECT_EQ(scan(u"4'b1010", u"verilog"), (Pairs{{u"4", K::number}}));
    for (U16View language : {u"vbnet", u"vba"})
        EXPECT_EQ(scan(u"' it's\nDim", language), (Pairs{{u"' it's", K::comment}, {u"Dim", K::keyword}}));
    EXPECT_EQ(scan(u"ancestor(X) :- is", u"prolog"), (Pairs{{u"X", K::type}, {u"is", K::keyword}}));
}

TEST(LanguageRules, SigilsOfPlantUmlAndBibTeX)
{
    EXPECT_EQ(scan(u"@startuml\n@enduml", u"plantuml"),
              (Pairs{{u"@startuml", K::keyword}, {u"@enduml", K::keyword}}));
    EXPECT_EQ(scan(u"@article{k,", u"bibtex"), (Pairs{{u"@article", K::keyword}}));
}

TEST(LanguageRules, RulesIgnoreLetterCaseAndRefuseSpecialAndUnknownNames)
{
    const CH::LanguageRules* swift = CH::rules(u"swift");
    ASSERT_NE(swift, nullptr);
    EXPECT_EQ(CH::rules(u"SWIFT"), swift);
    EXPECT_EQ(CH::rules(u"Swift"), swift);
    EXPECT_EQ(CH::rules(u"JS"), CH::rules(u"javascript"));
    EXPECT_EQ(CH::rules(u"json"), nullptr);
    EXPECT_EQ(CH::rules(u"html"), nullptr);
    EXPECT_EQ(CH::rules(u"markdown"), nullptr);
    EXPECT_EQ(CH::rules(u"plaintext"), nullptr);
    EXPECT_EQ(CH::rules(u""), nullptr);
}

TEST(LanguageRules, EverySetFindsItsOwnWordsAndCaseInsensitiveSetsAreUpperCase)
{
    for (U16View name : CH::ruleLanguageNames()) {
        const CH::LanguageRules* rules = CH::rules(name);
        ASSERT_NE(rules, nullptr) << u8(name);
        for (U16View word : rules->keywords.words()) {
            EXPECT_TRUE(rules->keywords.contains(word)) << u8(name) << " " << u8(word);
            if (rules->caseInsensitiveKeywords) {
                for (char16_t c : word)
                    EXPECT_FALSE(c >= u'a' && c <= u'z') << u8(name) << " " << u8(word);
            }
        }
    }
}

TEST(LanguageRules, ConcurrentFirstUsesShareOneSet)
{
    std::vector<const CH::LanguageRules*> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = CH::rules(u"typespec"); });
    for (auto& thread : threads)
        thread.join();
    for (const auto* r : seen)
        EXPECT_EQ(r, seen[0]);
    EXPECT_NE(seen[0], nullptr);
}

// ---- Names ----

TEST(LanguageNames, LetterCaseAndAliases)
{
    for (U16View word : {u"JS", u"Js", u"js"})
        EXPECT_EQ(CH::canonicalName(word), u"javascript");
    EXPECT_EQ(CH::canonicalName(u"TYPESCRIPTREACT"), u"typescript");
    EXPECT_EQ(CH::canonicalName(u"HTML.ERB"), u"template");
    EXPECT_EQ(CH::canonicalName(u"C#"), u"csharp");
    EXPECT_EQ(CH::canonicalName(u"F#"), u"fsharp");
    EXPECT_EQ(CH::canonicalName(u"Q#"), u"qsharp");
    EXPECT_EQ(CH::canonicalName(u"SWIFT"), u"swift");
    EXPECT_EQ(CH::canonicalName(u"Template"), u"template");
    EXPECT_EQ(CH::canonicalName(u"restructuredtext"), u"rst");
    EXPECT_EQ(CH::canonicalName(u"rest-structured-text"), u"rst");
    EXPECT_EQ(CH::canonicalName(u"rest"), u"http");
    EXPECT_EQ(CH::canonicalName(u"ps"), u"postscript");
    EXPECT_EQ(CH::canonicalName(u"cmd"), u"batch");
    EXPECT_EQ(CH::canonicalName(u"command"), u"shell");
    EXPECT_EQ(CH::canonicalName(u"mm"), u"objc");
    EXPECT_EQ(CH::canonicalName(u"mmd"), u"mermaid");
}

TEST(LanguageNames, NothingIsTrimmedAndUnknownWordsPassThroughLowerCased)
{
    EXPECT_EQ(CH::canonicalName(u""), u"");
    EXPECT_EQ(CH::canonicalName(u" js"), u" js");
    EXPECT_EQ(CH::canonicalName(u"js "), u"js ");
    EXPECT_EQ(CH::canonicalName(u"\u00c4bc"), u"\u00e4bc");
    EXPECT_EQ(CH::canonicalName(u"Foo"), u"foo");
    // Full Unicode lower-casing: the Kelvin sign lowers to an ASCII k.
    EXPECT_EQ(CH::canonicalName(u"\u212At"), u"kotlin");
}

TEST(LanguageNames, EveryAliasResolvesToItsRowAndEveryCanonicalNameToItself)
{
    for (const auto& row : CH::aliasTable()) {
        EXPECT_EQ(CH::canonicalName(row.canonical), row.canonical);
        for (U16View alias : row.aliases)
            EXPECT_EQ(CH::canonicalName(alias), row.canonical) << u8(alias);
    }
}

// ---- Entry ----

TEST(CodeHighlighterEntry, UnknownWordsGiveNothingAndKnownOnesAListEvenWhenEmpty)
{
    EXPECT_FALSE(CH::tokens(u"x", u"plaintext").has_value());
    EXPECT_FALSE(CH::tokens(u"x", u"").has_value());
    ASSERT_TRUE(CH::tokens(u"", u"swift").has_value());
    EXPECT_TRUE(CH::tokens(u"", u"swift")->empty());
    EXPECT_EQ(CH::tokens(u"let x", u"SWIFT"), CH::tokens(u"let x", u"swift"));
    EXPECT_EQ(CH::tokens(u"const x", u"Node"), CH::tokens(u"const x", u"javascript"));
}

TEST(CodeHighlighterEntry, EveryRuleLanguageHighlightsItsInventoryBodies)
{
    for (U16View name : CH::ruleLanguageNames()) {
        EXPECT_TRUE(CH::tokens(u"name = 1", name).has_value()) << u8(name);
        EXPECT_TRUE(CH::tokens(u"x = 1", name).has_value()) << u8(name);
    }
}

// ---- Hostile input ----

TEST(RuleScanner, RandomInputStaysInsideTheTextInEveryLanguage)
{
    // Units drawn mostly from the delimiters and classes the rules care about,
    // with lone surrogates and other non-ASCII units mixed in.
    const U16String alphabet = u"\"'`()[]{}<>#%;:!/*\\-+_$@.|=,\n\r\t 0123456789aeEfxXbBoOzZ\u00e9\u4e2d\xd800\xdc00";
    std::mt19937 random(12345);
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> lengthOf(0, 200);
    for (U16View name : CH::ruleLanguageNames()) {
        const CH::LanguageRules& rules = *CH::rules(name);
        for (int round = 0; round < 60; ++round) {
            U16String text;
            const int n = lengthOf(random);
            for (int i = 0; i < n; ++i)
                text.push_back(alphabet[pick(random)]);
            expectWellFormed(CH::tokens(text, rules), int(text.size()));
        }
    }
}

TEST(RuleScanner, EveryPrefixOfATrickyTextIsScannedSafely)
{
    const U16String tricky = u"'\\''\"\\\"\"\"\"x\"\"\" /* */ 0x 1e+ .5 @: @a ### # |||a||| (* *) #| |# ''a'' `";
    for (U16View name : CH::ruleLanguageNames())
        for (size_t cut = 0; cut <= tricky.size(); ++cut) {
            const U16View prefix = U16View(tricky).substr(0, cut);
            expectWellFormed(CH::tokens(prefix, *CH::rules(name)), int(prefix.size()));
        }
}

TEST(RuleScanner, HugeUnterminatedConstructsFinish)
{
    const U16String open = u"/*" + U16String(200000, u'x');
    EXPECT_EQ(CH::tokens(open, *CH::rules(u"c")).size(), 1u);
    const U16String string = u"\"\"\"" + U16String(200000, u'\n');
    EXPECT_EQ(CH::tokens(string, *CH::rules(u"python")).size(), 1u);
}

// ---- Language families ----

TEST(LanguageFamilies, CurlyBraceLanguages)
{
    EXPECT_EQ(scan(u"public class App { /** doc */ }", u"java"),
              (Pairs{{u"public", K::keyword}, {u"class", K::keyword}, {u"App", K::type}, {u"/** doc */", K::comment}}));
    EXPECT_EQ(scan(u"val s = \"\"\"a\"b\"\"\"", u"kt"), (Pairs{{u"val", K::keyword}, {u"\"\"\"a\"b\"\"\"", K::string}}));
    EXPECT_EQ(scan(u"var x = `a\n${b}`", u"ts"), (Pairs{{u"var", K::keyword}, {u"`a\n${b}`", K::string}}));
    EXPECT_EQ(scan(u"func f() error", u"golang"), (Pairs{{u"func", K::keyword}, {u"error", K::keyword}}));
    EXPECT_EQ(scan(u"@Override void f()", u"java"), (Pairs{{u"@Override", K::keyword}, {u"void", K::keyword}}));
}

TEST(LanguageFamilies, HashCommentScriptingLanguages)
{
    EXPECT_EQ(scan(u"def f # c\nend", u"rb"), (Pairs{{u"def", K::keyword}, {u"# c", K::comment}, {u"end", K::keyword}}));
    EXPECT_EQ(scan(u"my $x = 'a'; # c", u"perl"),
              (Pairs{{u"my", K::keyword}, {u"'a'", K::string}, {u"# c", K::comment}}));
    EXPECT_EQ(scan(u"<# a\n#> function", u"pwsh"), (Pairs{{u"<# a\n#>", K::comment}, {u"function", K::keyword}}));
}

TEST(LanguageFamilies, MlAndHaskellLanguages)
{
    EXPECT_EQ(scan(u"(* a *) let rec f = 'c'", u"ocaml"),
              (Pairs{{u"(* a *)", K::comment}, {u"let", K::keyword}, {u"rec", K::keyword}, {u"'c'", K::string}}));
    EXPECT_EQ(scan(u"{- a -} data Maybe", u"hs"),
              (Pairs{{u"{- a -}", K::comment}, {u"data", K::keyword}, {u"Maybe", K::type}}));
    EXPECT_EQ(scan(u"/- doc -/ theorem", u"lean4"), (Pairs{{u"/- doc -/", K::comment}, {u"theorem", K::keyword}}));
}

TEST(LanguageFamilies, LispLanguages)
{
    EXPECT_EQ(scan(u"(defn f [x] nil) ; c", u"clj"),
              (Pairs{{u"defn", K::keyword}, {u"nil", K::keyword}, {u"; c", K::comment}}));
    EXPECT_EQ(scan(u"(with-current-buffer b)", u"emacs-lisp"), (Pairs{{u"with-current-buffer", K::keyword}}));
}

TEST(LanguageFamilies, CaseInsensitiveLanguages)
{
    EXPECT_EQ(scan(u"Begin WriteLn('x'); end.", u"delphi"),
              (Pairs{{u"Begin", K::keyword}, {u"WriteLn", K::keyword}, {u"'x'", K::string}, {u"end", K::keyword}}));
    EXPECT_EQ(scan(u"! c\nprogram p", u"f90"), (Pairs{{u"! c", K::comment}, {u"program", K::keyword}}));
    EXPECT_EQ(scan(u"from ubuntu as build", u"Dockerfile"), (Pairs{{u"from", K::keyword}, {u"as", K::keyword}}));
}
