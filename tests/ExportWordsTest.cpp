// Export keeps every word: generated prose documents, with every kind of line
// end, lose no word in the HTML page, in the PDF (as pdftotext reads it) or in
// the RTF.
#include "PdfText.h"
#include "TempDirectory.h"

#include "export/Export.h"
#include "export/MarkdownHTML.h"
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

using namespace velkin;

namespace {

// Words of consonant-vowel syllables behind a "z": no tag, attribute or RTF
// control word looks like one. No "f": a PDF sets "fi" as one ligature glyph.
std::string word(std::mt19937& rng)
{
    static const char consonants[] = "bdgklmnprstv";
    static const char vowels[] = "aeiou";
    std::string out = "z";
    const int syllables = 2 + int(rng() % 3);
    for (int s = 0; s < syllables; ++s) {
        out += consonants[rng() % (sizeof consonants - 1)];
        out += vowels[rng() % (sizeof vowels - 1)];
    }
    return out;
}

struct Document {
    U16String text;
    std::vector<std::string> words;
};

// A document of headings, paragraphs, lists, task items, quotes, fences,
// tables and emphasis, its lines ended by `ends` (one chosen per line).
Document prose(std::mt19937& rng, const std::vector<U16String>& ends)
{
    Document d;
    std::string text;
    const auto words = [&](int n) {
        std::string out;
        for (int i = 0; i < n; ++i) {
            const std::string w = word(rng);
            d.words.push_back(w);
            if (i)
                out += ' ';
            switch (rng() % 9) {
            case 0: out += "**" + w + "**"; break;
            case 1: out += "*" + w + "*"; break;
            case 2: out += "`" + w + "`"; break;
            case 3: out += "[" + w + "](https://e.org/" + w + ")"; break;
            default: out += w; break;
            }
        }
        return out;
    };
    std::vector<std::string> lines;
    const int blocks = 3 + int(rng() % 8);
    for (int b = 0; b < blocks; ++b) {
        switch (rng() % 9) {
        case 0: lines.push_back(std::string(1 + rng() % 3, '#') + " " + words(2)); break;
        case 1:
            for (int i = 0; i < 3; ++i)
                lines.push_back("- " + words(3));
            break;
        case 2:
            for (int i = 1; i <= 3; ++i)
                lines.push_back(std::to_string(i) + ". " + words(3));
            break;
        case 3:
            lines.push_back("- [ ] " + words(2));
            lines.push_back("");
            lines.push_back("- [x] " + words(2));
            break;
        case 4:
            lines.push_back("> " + words(4));
            lines.push_back("> " + words(3));
            break;
        case 5: {
            lines.push_back("```");
            lines.push_back(word(rng));
            d.words.push_back(lines.back());
            lines.push_back("```");
            break;
        }
        case 6:
            lines.push_back("| " + words(1) + " | " + words(1) + " |");
            lines.push_back("| --- | --- |");
            lines.push_back("| " + words(1) + " | " + words(1) + " |");
            break;
        default:
            lines.push_back(words(5) + (rng() % 4 == 0 ? "  " : ""));
            lines.push_back(words(4));
            break;
        }
        lines.push_back("");
    }
    for (const std::string& line : lines) {
        d.text += u16(line);
        d.text += ends[rng() % ends.size()];
    }
    return d;
}

std::set<std::string> tokens(const std::string& text)
{
    std::set<std::string> out;
    std::string current;
    for (char c : text + " ") {
        if (c >= 'a' && c <= 'z') {
            current += c;
        } else if (!current.empty()) {
            out.insert(current);
            current.clear();
        }
    }
    return out;
}

std::vector<std::string> missing(const std::vector<std::string>& words, const std::string& text)
{
    const std::set<std::string> found = tokens(text);
    std::vector<std::string> out;
    for (const std::string& w : words)
        if (!found.count(w))
            out.push_back(w);
    return out;
}

// Word `n` of a run in which no word comes twice: "z" and n in syllables.
std::string uniqueWord(int n)
{
    static const char consonants[] = "bdgklmnprstv";
    std::string out = "zo";
    do {
        out += consonants[n % 12];
        out += "aeiu"[(n / 12) % 4];
        n /= 48;
    } while (n > 0);
    return out;
}

std::map<std::string, int> wordCounts(const std::string& text)
{
    std::map<std::string, int> out;
    std::string current;
    for (char c : text + " ") {
        if (c >= 'a' && c <= 'z') {
            current += c;
        } else if (!current.empty()) {
            ++out[current];
            current.clear();
        }
    }
    return out;
}

// The words not read exactly once in `printed`, each with its count.
std::vector<std::string> notPrintedOnce(const std::vector<std::string>& words, const std::string& printed)
{
    const std::map<std::string, int> counts = wordCounts(printed);
    std::vector<std::string> wrong;
    for (const std::string& w : words)
        if (const auto found = counts.find(w); found == counts.end() || found->second != 1)
            wrong.push_back(w + " x" + std::to_string(found == counts.end() ? 0 : found->second));
    return wrong;
}

std::string readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

using velkin::testing::pdfText;

const std::vector<std::pair<const char*, std::vector<U16String>>>& lineEndKinds()
{
    static const std::vector<std::pair<const char*, std::vector<U16String>>> kinds = {
        {"LF", {u"\n"}},           {"CRLF", {u"\r\n"}},    {"CR", {u"\r"}},
        {"NEL", {u"\u0085"}},      {"LS", {u"\u2028"}},    {"PS", {u"\u2029"}},
        {"mixed", {u"\n", u"\r\n", u"\r", u"\u0085", u"\u2028", u"\u2029"}}};
    return kinds;
}

} // namespace

TEST(ExportWords, EveryWordReachesTheHTMLPage)
{
    std::mt19937 rng(2029);
    for (const auto& [name, ends] : lineEndKinds()) {
        for (int round = 0; round < 60; ++round) {
            const Document d = prose(rng, ends);
            const std::string page = u8(MarkdownHTML::body(d.text));
            ASSERT_EQ(missing(d.words, page), std::vector<std::string>()) << name << " line ends:\n"
                                                                           << u8(d.text) << "\n----\n"
                                                                           << page;
        }
    }
}

TEST(ExportWords, EveryWordReachesThePDFAndTheRTF)
{
    velkin::testing::TempDirectory folder;
    std::mt19937 rng(77);
    bool readPDF = false;
    for (const auto& [name, ends] : lineEndKinds()) {
        for (int round = 0; round < 2; ++round) {
            const Document d = prose(rng, ends);
            const auto rtf = folder.path() / "out.rtf";
            ASSERT_FALSE(Export::write(d.text, rtf, ExportFormat::rtf, MarkdownHTML::Options{}));
            EXPECT_EQ(missing(d.words, readBytes(rtf)), std::vector<std::string>()) << name << ":\n" << u8(d.text);
            const auto pdf = folder.path() / "out.pdf";
            ASSERT_FALSE(Export::write(d.text, pdf, ExportFormat::pdf, MarkdownHTML::Options{}));
            if (const auto text = pdfText(pdf)) {
                readPDF = true;
                EXPECT_EQ(missing(d.words, *text), std::vector<std::string>()) << name << ":\n" << u8(d.text);
            }
        }
    }
    if (!readPDF)
        GTEST_SKIP() << "pdftotext is not installed: only the RTF was read";
}

// Pages end inside paragraphs, quotes, list items and code: a line at a page
// foot is printed on that page alone, and no line is left out. (A table that
// runs over a page repeats its header there, so tables stay out of this.)
TEST(ExportWords, EveryWordIsPrintedOnceAcrossPageBreaks)
{
    std::vector<std::string> words;
    const auto run = [&](int n) {
        std::string out;
        for (int i = 0; i < n; ++i) {
            words.push_back(uniqueWord(int(words.size())));
            out += (i ? " " : "") + words.back();
        }
        return out;
    };
    std::string text;
    std::mt19937 rng(4711);
    for (int block = 0; block < 90; ++block) {
        switch (rng() % 4) {
        case 0: text += "- " + run(30) + "\n- " + run(25) + "\n  1. " + run(30) + "\n\n"; break;
        case 1: text += "```\n" + run(1) + "\n" + run(1) + "\n" + run(1) + "\n" + run(1) + "\n```\n\n"; break;
        case 2: text += "## " + run(3) + "\n\n> " + run(40) + "\n\n"; break;
        default: text += run(60 + int(rng() % 40)) + "\n\n"; break;
        }
    }
    velkin::testing::TempDirectory folder;
    const auto pdf = folder.path() / "pages.pdf";
    ASSERT_FALSE(Export::write(u16(text), pdf, ExportFormat::pdf, MarkdownHTML::Options{}));
    const auto printed = pdfText(pdf);
    if (!printed)
        GTEST_SKIP() << "pdftotext is not installed";
    ASSERT_GT(std::count(printed->begin(), printed->end(), '\f'), 10);
    EXPECT_EQ(notPrintedOnce(words, *printed), std::vector<std::string>());
}

// A paragraph in a table cell that runs over a page foot is printed, like any
// other, each line on its own page: no word of the cells comes twice or goes
// missing. (The header row repeats on every page and stays out of the count.)
TEST(ExportWords, CellsRunningOverPageFeetPrintEachWordOnce)
{
    std::vector<std::string> words;
    const auto run = [&](int n) {
        std::string out;
        for (int i = 0; i < n; ++i) {
            words.push_back(uniqueWord(int(words.size())));
            out += (i ? " " : "") + words.back();
        }
        return out;
    };
    // Rows taller than a page break inside their cells; shorter ones move whole.
    std::string text = "| head | more |\n|---|---|\n";
    for (int row = 0; row < 14; ++row)
        text += "| " + run(row % 3 == 0 ? 420 : 30) + " | " + run(row % 2 == 0 ? 12 : 90) + " |\n";
    velkin::testing::TempDirectory folder;
    const auto pdf = folder.path() / "cells.pdf";
    ASSERT_FALSE(Export::write(u16(text), pdf, ExportFormat::pdf, MarkdownHTML::Options{}));
    const auto printed = pdfText(pdf);
    if (!printed)
        GTEST_SKIP() << "pdftotext is not installed";
    ASSERT_GT(std::count(printed->begin(), printed->end(), '\f'), 5);
    EXPECT_EQ(notPrintedOnce(words, *printed), std::vector<std::string>());
}

namespace {

// Release notes of the changelog kind: headings, a paragraph, and commit
// lists whose items run over one or two lines.
std::string releaseNotes(unsigned seed)
{
    std::mt19937 rng(seed);
    std::string text;
    for (int release = 0; release < 40; ++release) {
        text += "## Version " + std::to_string(release) + "\n\n";
        for (int i = 0, n = 10 + int(rng() % 50); i < n; ++i)
            text += word(rng) + " ";
        text += "\n\n### Commits\n\n";
        for (int item = 0, items = 5 + int(rng() % 55); item < items; ++item) {
            text += "* [`" + std::to_string(rng() % 100000000) + "`] -";
            for (int i = 0, n = 4 + int(rng() % 21); i < n; ++i)
                text += " " + word(rng);
            text += "\n";
        }
        text += "\n";
    }
    return text;
}

} // namespace

// Qt's first layout of a document can leave a line across a page foot, cut
// off there and not printed on the next page. No word of these documents,
// some of which Qt lays out so, reaches past the printable area of its page.
TEST(ExportWords, NoLineRunsOverAPageFoot)
{
    velkin::testing::TempDirectory folder;
    const auto pdf = folder.path() / "notes.pdf";
    int words = 0;
    for (unsigned seed = 0; seed < 6; ++seed) {
        ASSERT_FALSE(Export::write(u16(releaseNotes(seed)), pdf, ExportFormat::pdf, MarkdownHTML::Options{}));
        const auto boxes = pdfText(pdf, true);
        if (!boxes)
            GTEST_SKIP() << "pdftotext is not installed";
        // <page width="595" height="842"> ... <word xMin=".." yMin=".." xMax=".." yMax="..">w</word>
        double pageHeight = 0;
        int page = 0;
        std::istringstream lines(*boxes);
        for (std::string line; std::getline(lines, line);) {
            if (const size_t at = line.find("<page "); at != std::string::npos) {
                pageHeight = std::atof(line.c_str() + line.find("height=\"") + 8);
                ++page;
                continue;
            }
            const size_t at = line.find("<word ");
            if (at == std::string::npos)
                continue;
            const double top = std::atof(line.c_str() + line.find("yMin=\"") + 6);
            const double bottom = std::atof(line.c_str() + line.find("yMax=\"") + 6);
            ++words;
            // 54-point margins; a glyph's box may reach a little past its line.
            EXPECT_GE(top, 54 - 3) << "seed " << seed << ", page " << page << ": " << line;
            EXPECT_LE(bottom, pageHeight - 54 + 1) << "seed " << seed << ", page " << page << ": " << line;
        }
    }
    EXPECT_GT(words, 10000);
}
