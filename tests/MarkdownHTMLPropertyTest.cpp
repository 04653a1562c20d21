// Random documents built from the fragments real documents are made of: the
// page keeps every character that is not a delimiter that made formatting, in
// order, and writes no element empty that had text.
#include "export/MarkdownHTML.h"
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

using namespace velkin;

namespace {

// "tNNN" words must reach the page; "hNNN" words may go (addresses, labels).
// Everything else is punctuation that markup may take.
class Maker {
public:
    explicit Maker(unsigned seed) : rng_(seed) {}

    std::string document()
    {
        std::string out;
        const int blocks = 1 + int(rng_() % 6);
        for (int b = 0; b < blocks; ++b) {
            out += block();
            out += "\n\n";
        }
        // Definitions for the reference links, at the top level.
        out += "[href]: /" + h() + "\n[`href`]: /" + h() + "\n";
        return out;
    }

private:
    std::string t() { return "t" + number(); }
    std::string h() { return "h" + number(); }
    std::string number()
    {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "%03d", next_++ % 1000);
        return buffer;
    }

    std::string inlineFragment()
    {
        switch (rng_() % 22) {
        case 0: return "[" + t() + "](/" + h() + ")";
        case 1: return "[" + t() + "](https://e.com/" + h() + "-(" + h() + "))";
        case 2: return "`" + t() + "`";
        case 3: return "``" + t() + " ` " + t() + "``";
        case 4: return "\\*" + t() + "\\*";
        case 5: return "\\[" + t() + "\\]";
        case 6: return "[ `" + t() + "` [" + t() + "](/" + h() + ")";
        case 7: return "*" + t() + " _" + t() + "* " + t() + "_";
        case 8: return "*" + t() + " __" + t() + " *" + t() + " " + t() + "__ " + t() + "*";
        case 9: return "~~" + t() + " *" + t() + "~~ " + t() + "*";
        case 10: return "**" + t() + "**";
        case 11: return "_" + t() + "_";
        case 12: return "***" + t() + "***";
        case 13: return "[`" + t() + "`][href]";
        case 14: return "[`" + t() + "`][]";
        case 15: return "[" + t() + "]";
        case 16: return "[" + t() + "](<" + h() + ">";
        case 17: return "(" + h() + ")";
        case 18: return "[";
        case 19: return "]";
        case 20: return "*";
        default: return t();
        }
    }

    std::string line()
    {
        // A word first: a line that began with "*" or "_" could be a list item or a rule.
        std::string out = t();
        const int n = 1 + int(rng_() % 5);
        for (int k = 0; k < n; ++k) {
            out += rng_() % 4 ? " " : "";
            out += inlineFragment();
        }
        return out;
    }

    std::string block()
    {
        switch (rng_() % 9) {
        case 0: return "> [" + t() + "]: /" + t();
        case 1: return "- [`[" + t() + "]::" + t() + "`][`href`]";
        case 2: return "- " + t() + "\n- ```\n  " + t() + "\n  ```\n- " + t();
        case 3: return "- \u0661. " + line() + "\n> \u0662. " + line();
        case 4: return "> " + line() + "\n> " + line();
        case 5: return "- " + line() + "\n- " + line() + "\n  " + line();
        case 6: return "1. " + line() + "\n2. [" + t() + "]: " + t();
        default: return line() + "\n" + line();
        }
    }

    std::mt19937 rng_;
    int next_ = 0;
};

std::string pageText(const std::string& html)
{
    std::string text = std::regex_replace(html, std::regex("<[^>]*>"), "");
    for (const auto& [entity, character] : std::vector<std::pair<std::string, std::string>>{
             {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}}) {
        for (size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1))
            text.replace(at, entity.size(), character);
    }
    return text;
}

std::vector<std::string> words(const std::string& text, char initial)
{
    std::vector<std::string> out;
    const std::regex word(std::string(1, initial) + "[0-9]{3}");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), word); it != std::sregex_iterator(); ++it)
        out.push_back(it->str());
    return out;
}

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

} // namespace

TEST(MarkdownHTMLProperty, TextSurvivesAndNoElementIsEmpty)
{
    const std::regex empty("<(em|strong|del|code|a|li|p|blockquote|sup|sub|u)( [^>]*)?></\\1>|<blockquote>\n</blockquote>");
    for (unsigned seed = 1; seed <= 1500; ++seed) {
        Maker maker(seed);
        const std::string markdown = maker.document();
        const std::string html = u8(MarkdownHTML::body(u16(markdown)));
        const std::string text = pageText(html);
        SCOPED_TRACE(markdown + "\n----\n" + html);

        // Every text word, in order; no element without text.
        EXPECT_EQ(words(text, 't'), words(markdown, 't'));
        EXPECT_FALSE(std::regex_search(html, empty));

        // The page's text is the document's text with characters taken out.
        size_t k = 0;
        for (char c : text) {
            if (c == ' ' || c == '\n' || c == '\t')
                continue;
            while (k < markdown.size() && markdown[k] != c)
                ++k;
            ASSERT_LT(k, markdown.size()) << "not from the document, or out of order: " << c;
            ++k;
        }
        // Emphasis characters go only as delimiters of an element that stands.
        const auto in = [&](const std::string& s, char c) { return std::count(s.begin(), s.end(), c); };
        const size_t emphasis = 2 * count(html, "<em>") + 4 * count(html, "<strong>");
        EXPECT_EQ(size_t(in(markdown, '*') + in(markdown, '_') - in(text, '*') - in(text, '_')), emphasis);
        EXPECT_EQ(size_t(in(markdown, '~') - in(text, '~')), 4 * count(html, "<del>"));
    }
}
