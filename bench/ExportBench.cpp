// The HTML page of real documents, and of hostile inputs whose cost must grow
// linearly with their size (each family reports its complexity fit).
#include "export/Export.h"
#include "export/MarkdownHTML.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <QImage>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <unistd.h>

namespace {

using velkin::U16String;

velkin::U16String readDocument(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return velkin::u16(bytes.str());
}

void BM_HTMLPage_Changelog(benchmark::State& state)
{
    const auto text = readDocument("/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md");
    if (text.empty()) {
        state.SkipWithError("the nodejs changelog is not installed");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::MarkdownHTML::document(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
}
BENCHMARK(BM_HTMLPage_Changelog)->Unit(benchmark::kMillisecond);

void BM_HTMLPage_FileSystemDocs(benchmark::State& state)
{
    const auto text = readDocument("/usr/share/doc/nodejs/api/fs.md");
    if (text.empty()) {
        state.SkipWithError("the nodejs api docs are not installed");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::MarkdownHTML::document(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * 2));
}
BENCHMARK(BM_HTMLPage_FileSystemDocs)->Unit(benchmark::kMillisecond);

// One picture shown fifty times, embedded: the page reads and decodes it once.
void BM_HTMLPage_OnePictureShownOften(benchmark::State& state)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("velkin-bench-picture-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    QImage picture(1600, 1000, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, (x ^ y) % 256));
    picture.save(QString::fromStdString((folder / "photo.png").string()), "PNG");
    U16String text;
    for (int i = 0; i < 50; ++i)
        text += u"A line of words around ![photo](photo.png) in a paragraph.\n\n";
    velkin::MarkdownHTML::Options options;
    options.baseURL = velkin::Url::fileURL((folder / "doc.md").string());
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::MarkdownHTML::document(text, options));
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_HTMLPage_OnePictureShownOften)->Unit(benchmark::kMillisecond);

// ---- Hostile inputs: n is the input's length in UTF-16 units ----

U16String repeated(std::u16string_view piece, size_t units)
{
    U16String out;
    out.reserve(units + piece.size());
    while (out.size() < units)
        out += piece;
    return out;
}

void page(benchmark::State& state, const std::function<U16String(size_t)>& make)
{
    const U16String text = make(size_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::MarkdownHTML::body(text));
    state.SetComplexityN(int64_t(text.size()));
}

#define HOSTILE_FAMILY(name)                                                                                    \
    BENCHMARK(name)->RangeMultiplier(4)->Range(1 << 12, 1 << 18)->Unit(benchmark::kMillisecond)->Complexity()

// Emphasis delimiters that all pair up with one another.
void BM_HTMLHostile_StarUnderscore(benchmark::State& state)
{
    page(state, [](size_t n) { return repeated(u"*_", n); });
}
HOSTILE_FAMILY(BM_HTMLHostile_StarUnderscore);

// One line of would-be definition markers.
void BM_HTMLHostile_BracketColon(benchmark::State& state)
{
    page(state, [](size_t n) { return u"x" + repeated(u"]:", n); });
}
HOSTILE_FAMILY(BM_HTMLHostile_BracketColon);

// Lines of 5,000 unclosed image openers.
void BM_HTMLHostile_ImageOpeners(benchmark::State& state)
{
    page(state, [](size_t n) {
        const U16String line = repeated(u"![", 10000) + u"\n";
        return repeated(line, n);
    });
}
HOSTILE_FAMILY(BM_HTMLHostile_ImageOpeners);

// One long line of image openers.
void BM_HTMLHostile_ImageOpenerLine(benchmark::State& state)
{
    page(state, [](size_t n) { return repeated(u"![", n); });
}
HOSTILE_FAMILY(BM_HTMLHostile_ImageOpenerLine);

// A line "x", then paragraphs of 10,000 spaces ended by paragraph separators.
void BM_HTMLHostile_SpaceParagraphs(benchmark::State& state)
{
    page(state, [](size_t n) {
        const U16String paragraph = U16String(10000, u' ') + u"\u2029\u2029";
        return u"x\n" + repeated(paragraph, n);
    });
}
HOSTILE_FAMILY(BM_HTMLHostile_SpaceParagraphs);

// Lines with a long run of spaces inside them: no hard break, but a tempting run.
void BM_HTMLHostile_InnerSpaces(benchmark::State& state)
{
    page(state, [](size_t n) { return repeated(u"x" + U16String(10000, u' ') + u"y\n", n); });
}
HOSTILE_FAMILY(BM_HTMLHostile_InnerSpaces);

// Quote markers, each on a line of its own ended by a line separator or a carriage return.
void BM_HTMLHostile_QuoteMarkersLineSeparator(benchmark::State& state)
{
    page(state, [](size_t n) { return repeated(u">\u2028", n); });
}
HOSTILE_FAMILY(BM_HTMLHostile_QuoteMarkersLineSeparator);

void BM_HTMLHostile_QuoteMarkersCarriageReturn(benchmark::State& state)
{
    page(state, [](size_t n) { return repeated(u">\r", n); });
}
HOSTILE_FAMILY(BM_HTMLHostile_QuoteMarkersCarriageReturn);

// A table whose every row looks like its delimiter row.
void BM_HTMLHostile_DelimiterRows(benchmark::State& state)
{
    page(state, [](size_t n) { return u"| a | b |\n" + repeated(u"| - | - |\n", n); });
}
HOSTILE_FAMILY(BM_HTMLHostile_DelimiterRows);

// Code spans whose backtick runs differ in length.
void BM_HTMLHostile_BacktickRuns(benchmark::State& state)
{
    page(state, [](size_t n) { return repeated(u"`a``b ", n); });
}
HOSTILE_FAMILY(BM_HTMLHostile_BacktickRuns);

// ---- Rich text and PDF of long documents: n is the number of items ----

U16String numbered(std::u16string_view before, std::u16string_view after, size_t n)
{
    U16String out;
    for (size_t i = 0; i < n; ++i) {
        out += before;
        out += velkin::TextOps::number((long long)i);
        out += after;
    }
    return out;
}

void richText(benchmark::State& state, const std::function<U16String(size_t)>& make)
{
    const U16String page = velkin::MarkdownHTML::document(make(size_t(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::Export::richText(page));
    state.SetComplexityN(state.range(0));
}

void pdf(benchmark::State& state, const std::function<U16String(size_t)>& make)
{
    const U16String page = velkin::MarkdownHTML::document(make(size_t(state.range(0))));
    const auto file = std::filesystem::temp_directory_path() / ("velkin-bench-" + std::to_string(getpid()) + ".pdf");
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::Export::printPDF(page, file));
    std::filesystem::remove(file);
    state.SetComplexityN(state.range(0));
}

#define LONG_DOCUMENT(name, low, high) \
    BENCHMARK(name)->RangeMultiplier(4)->Range(low, high)->Unit(benchmark::kMillisecond)->Complexity()

void BM_RichText_BulletList(benchmark::State& state)
{
    richText(state, [](size_t n) { return numbered(u"- item number ", u" of the list\n", n); });
}
LONG_DOCUMENT(BM_RichText_BulletList, 1 << 10, 1 << 14);

void BM_RichText_Footnotes(benchmark::State& state)
{
    richText(state, [](size_t n) {
        return numbered(u"Sentence with a note.[^n", u"]\n\n", n) + numbered(u"[^n", u"]: The note.\n\n", n);
    });
}
LONG_DOCUMENT(BM_RichText_Footnotes, 1 << 9, 1 << 13);

void BM_PDF_BulletList(benchmark::State& state)
{
    pdf(state, [](size_t n) { return numbered(u"- item number ", u" of the list\n", n); });
}
LONG_DOCUMENT(BM_PDF_BulletList, 1 << 10, 1 << 14);

// Headings each followed by a small table (n sections).
void BM_PDF_HeadingsAndTables(benchmark::State& state)
{
    pdf(state, [](size_t n) { return numbered(u"## Heading ", u"\n\n| a | b |\n|---|---|\n| 1 | x |\n| y | z |\n\n", n); });
}
LONG_DOCUMENT(BM_PDF_HeadingsAndTables, 1 << 7, 1 << 11);

// One paragraph of n words.
void BM_PDF_LongParagraph(benchmark::State& state)
{
    pdf(state, [](size_t n) { return numbered(u"word", u" ", n); });
}
LONG_DOCUMENT(BM_PDF_LongParagraph, 1 << 12, 1 << 16);

// A table of n rows.
void BM_PDF_TallTable(benchmark::State& state)
{
    pdf(state, [](size_t n) { return u"| a | b | c |\n|---|---|---|\n" + numbered(u"| ", u" | cell | more |\n", n); });
}
LONG_DOCUMENT(BM_PDF_TallTable, 1 << 9, 1 << 13);

// One cell of n lines parted by "<br>", beside a cell of one.
void BM_PDF_TallCell(benchmark::State& state)
{
    pdf(state, [](size_t n) { return u"| A | B |\n|---|---|\n| " + numbered(u"<br>l", u"", n).substr(4) + u" | b |\n"; });
}
LONG_DOCUMENT(BM_PDF_TallCell, 1 << 11, 1 << 15);

// One cell of n words wrapped at its width, over many pages.
void BM_PDF_WrappedCell(benchmark::State& state)
{
    pdf(state, [](size_t n) { return u"| A | B |\n|---|---|\n| " + numbered(u"word", u" ", n) + u" | b |\n"; });
}
LONG_DOCUMENT(BM_PDF_WrappedCell, 1 << 14, 1 << 17);

// n paragraphs, each showing a small picture of its own, exported as the
// command line does (the pictures by their absolute paths).
void distinctPictures(benchmark::State& state, velkin::ExportFormat format)
{
    const int n = int(state.range(0));
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("velkin-bench-album-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    U16String text;
    for (int i = 0; i < n; ++i) {
        const std::string path = (folder / ("pic_" + std::to_string(i) + ".png")).string();
        QImage picture(16 + i % 33, 12 + i % 17, QImage::Format_RGB32);
        picture.fill(QColor::fromRgb(QRgb(0xFF000000u | unsigned(i) * 2654435761u)));
        picture.save(QString::fromStdString(path), "PNG");
        text += u"![alt " + velkin::TextOps::number((long long)i) + u"](" + velkin::u16(path) + u")\n\n";
    }
    const auto file = folder / (std::string("out.") + format.fileExtension());
    velkin::MarkdownHTML::Options options;
    options.baseURL = velkin::Url::fileURL((folder / "album.md").string());
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::Export::write(text, file, format, options));
    std::filesystem::remove_all(folder);
    state.SetComplexityN(n);
}

// An HTML page of n photos of noise (about 2 MB each as JPEG), each embedded.
void BM_HTML_Photos(benchmark::State& state)
{
    const int n = int(state.range(0));
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("velkin-bench-photos-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    U16String text;
    for (int k = 0; k < n; ++k) {
        QImage photo(1600, 1200, QImage::Format_RGB32);
        for (int y = 0; y < photo.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(photo.scanLine(y));
            for (int x = 0; x < photo.width(); ++x) {
                uint32_t bits = uint32_t(k + 1) * 2654435761u ^ uint32_t(x) * 40503u ^ uint32_t(y) * 2246822519u;
                bits ^= bits >> 15;
                line[x] = 0xff000000u | ((bits * 2654435761u) & 0xffffffu);
            }
        }
        const std::string path = (folder / ("photo" + std::to_string(k) + ".jpg")).string();
        photo.save(QString::fromStdString(path), "JPEG", 95);
        text += u"Day " + velkin::TextOps::number((long long)k) + u"\n\n![photo](" + velkin::u16(path) + u")\n\n";
    }
    const auto file = folder / "album.html";
    velkin::MarkdownHTML::Options options;
    options.baseURL = velkin::Url::fileURL((folder / "album.md").string());
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::Export::write(text, file, velkin::ExportFormat::html, options));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(std::filesystem::file_size(file)));
    std::filesystem::remove_all(folder);
    state.SetComplexityN(n);
}
BENCHMARK(BM_HTML_Photos)->RangeMultiplier(4)->Range(4, 16)->Unit(benchmark::kMillisecond)->Complexity();

void BM_PDF_DistinctPictures(benchmark::State& state)
{
    distinctPictures(state, velkin::ExportFormat::pdf);
}
LONG_DOCUMENT(BM_PDF_DistinctPictures, 1 << 10, 1 << 14);

void BM_RTF_DistinctPictures(benchmark::State& state)
{
    distinctPictures(state, velkin::ExportFormat::rtf);
}
LONG_DOCUMENT(BM_RTF_DistinctPictures, 1 << 10, 1 << 14);

// A table of empty cells n columns wide and 20 rows tall, printed in groups of columns.
U16String wideTable(size_t n)
{
    const U16String bars(n, u'|');
    U16String delimiter;
    for (size_t i = 0; i < n; ++i)
        delimiter += u"|-";
    U16String text = bars + u"\n" + delimiter + u"\n";
    for (int row = 0; row < 20; ++row)
        text += bars + u"\n";
    return text;
}

void BM_PDF_WideTable(benchmark::State& state)
{
    pdf(state, wideTable);
}
LONG_DOCUMENT(BM_PDF_WideTable, 1 << 7, 1 << 11);

// A table of 14 columns of words and figures, its rows n.
void BM_PDF_SalesTable(benchmark::State& state)
{
    pdf(state, [](size_t n) {
        return u"| Region | January | February | March | April | May | June | July | August | September | October "
               u"| November | December | Total |\n|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n"
               + numbered(u"| North | 1000 | 1037 | 1074 | 1111 | 1148 | 1185 | 1222 | 1259 | 1296 | 1333 | 1370 | 1407 | ",
                          u" |\n", n);
    });
}
LONG_DOCUMENT(BM_PDF_SalesTable, 1 << 4, 1 << 8);

} // namespace

#ifdef VELKIN_BENCH_OTHER_RENDERERS
#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm.h>
#include <md4c-html.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace {

const char* const changelogPath = "/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md";

std::string readBytes(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void appendOutput(const MD_CHAR* text, MD_SIZE size, void* out)
{
    static_cast<std::string*>(out)->append(text, size);
}

std::string md4cPage(const std::string& markdown)
{
    std::string out;
    out.reserve(markdown.size() * 2);
    md_html(markdown.data(), MD_SIZE(markdown.size()), appendOutput, &out, MD_DIALECT_GITHUB, 0);
    return out;
}

std::string cmarkPage(const std::string& markdown)
{
    cmark_gfm_core_extensions_ensure_registered();
    cmark_parser* parser = cmark_parser_new(CMARK_OPT_DEFAULT);
    for (const char* name : {"table", "strikethrough", "autolink", "tasklist"})
        if (cmark_syntax_extension* extension = cmark_find_syntax_extension(name))
            cmark_parser_attach_syntax_extension(parser, extension);
    cmark_parser_feed(parser, markdown.data(), markdown.size());
    cmark_node* document = cmark_parser_finish(parser);
    char* html = cmark_render_html(document, CMARK_OPT_DEFAULT, cmark_parser_get_syntax_extensions(parser));
    std::string out(html);
    std::free(html);
    cmark_node_free(document);
    cmark_parser_free(parser);
    return out;
}

void BM_HTMLPage_Changelog_Md4c(benchmark::State& state)
{
    const std::string bytes = readBytes(changelogPath);
    if (bytes.empty()) {
        state.SkipWithError("the nodejs changelog is not installed");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(md4cPage(bytes));
}
BENCHMARK(BM_HTMLPage_Changelog_Md4c)->Unit(benchmark::kMillisecond);

void BM_HTMLPage_Changelog_CmarkGfm(benchmark::State& state)
{
    const std::string bytes = readBytes(changelogPath);
    if (bytes.empty()) {
        state.SkipWithError("the nodejs changelog is not installed");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(cmarkPage(bytes));
}
BENCHMARK(BM_HTMLPage_Changelog_CmarkGfm)->Unit(benchmark::kMillisecond);

// Our page and the two others, interleaved in every iteration so that they
// share the machine's state; the counters are the ratios of our time to theirs.
void BM_HTMLPage_Changelog_Ratios(benchmark::State& state)
{
    const std::string bytes = readBytes(changelogPath);
    if (bytes.empty()) {
        state.SkipWithError("the nodejs changelog is not installed");
        return;
    }
    const U16String text = velkin::u16(bytes);
    using Clock = std::chrono::steady_clock;
    double ours = 0, md4c = 0, cmark = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(velkin::MarkdownHTML::document(text));
        const auto t1 = Clock::now();
        benchmark::DoNotOptimize(md4cPage(bytes));
        const auto t2 = Clock::now();
        benchmark::DoNotOptimize(cmarkPage(bytes));
        const auto t3 = Clock::now();
        ours += std::chrono::duration<double>(t1 - t0).count();
        md4c += std::chrono::duration<double>(t2 - t1).count();
        cmark += std::chrono::duration<double>(t3 - t2).count();
    }
    const double n = double(state.iterations());
    state.counters["ours_ms"] = ours / n * 1e3;
    state.counters["md4c_ms"] = md4c / n * 1e3;
    state.counters["cmark_gfm_ms"] = cmark / n * 1e3;
    state.counters["vs_md4c"] = ours / md4c;
    state.counters["vs_cmark_gfm"] = ours / cmark;
}
BENCHMARK(BM_HTMLPage_Changelog_Ratios)->Unit(benchmark::kMillisecond)->MinTime(2);

} // namespace
#endif

// ---- PDF and RTF of ordinary documents ----
// The whole export, from the Markdown to the file, of node's fs.md and
// CHANGELOG_V12.md (Debian package nodejs-doc) and of a table of 400 rows.
// Where md4c and cmark-gfm are linked, every iteration also times their HTML
// of the same text: the counters set the three side by side, in processor
// milliseconds an iteration.
#include <ctime>

namespace {

double processMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

std::string fileBytes(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string tableOf400Rows()
{
    std::string text = "| a | b | c |\n|---|---|---|\n";
    for (int i = 0; i < 400; ++i)
        text += "| " + std::to_string(i) + " | cell | more text |\n";
    return text + "\nAfter the table.\n";
}

void exportDocument(benchmark::State& state, const std::string& bytes, velkin::ExportFormat format)
{
    if (bytes.empty()) {
        state.SkipWithError("the document is not installed");
        return;
    }
    const U16String text = velkin::u16(bytes);
    const auto file = std::filesystem::temp_directory_path()
                      / ("velkin-bench-export-" + std::to_string(getpid()) + "." + format.fileExtension());
    double ours = 0;
    [[maybe_unused]] double md4c = 0;
    [[maybe_unused]] double cmark = 0;
    for (auto _ : state) {
        const double start = processMilliseconds();
        benchmark::DoNotOptimize(velkin::Export::write(text, file, format, velkin::MarkdownHTML::Options{}));
        ours += processMilliseconds() - start;
#ifdef VELKIN_BENCH_OTHER_RENDERERS
        state.PauseTiming();
        const double t0 = processMilliseconds();
        benchmark::DoNotOptimize(md4cPage(bytes));
        const double t1 = processMilliseconds();
        benchmark::DoNotOptimize(cmarkPage(bytes));
        md4c += t1 - t0;
        cmark += processMilliseconds() - t1;
        state.ResumeTiming();
#endif
    }
    std::filesystem::remove(file);
    const double n = double(state.iterations());
    state.counters["ours_ms"] = ours / n;
#ifdef VELKIN_BENCH_OTHER_RENDERERS
    state.counters["md4c_html_ms"] = md4c / n;
    state.counters["cmark_gfm_html_ms"] = cmark / n;
#endif
}

const char* const fsDocs = "/usr/share/doc/nodejs/api/fs.md";
const char* const changelog12 = "/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md";

void BM_ExportPDF_Changelog(benchmark::State& state)
{
    exportDocument(state, fileBytes(changelog12), velkin::ExportFormat::pdf);
}
void BM_ExportRTF_Changelog(benchmark::State& state)
{
    exportDocument(state, fileBytes(changelog12), velkin::ExportFormat::rtf);
}
void BM_ExportPDF_FileSystemDocs(benchmark::State& state)
{
    exportDocument(state, fileBytes(fsDocs), velkin::ExportFormat::pdf);
}
void BM_ExportRTF_FileSystemDocs(benchmark::State& state)
{
    exportDocument(state, fileBytes(fsDocs), velkin::ExportFormat::rtf);
}
void BM_ExportPDF_Table400Rows(benchmark::State& state)
{
    exportDocument(state, tableOf400Rows(), velkin::ExportFormat::pdf);
}
void BM_ExportRTF_Table400Rows(benchmark::State& state)
{
    exportDocument(state, tableOf400Rows(), velkin::ExportFormat::rtf);
}
BENCHMARK(BM_ExportPDF_Changelog)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_ExportRTF_Changelog)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_ExportPDF_FileSystemDocs)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_ExportRTF_FileSystemDocs)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_ExportPDF_Table400Rows)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_ExportRTF_Table400Rows)->Unit(benchmark::kMillisecond)->MinTime(3);

} // namespace
