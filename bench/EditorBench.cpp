// One keystroke in a 1 MB document through the editor's whole cycle: the
// character goes in, the text is written back to the document, the storage is
// restyled with its collapses, laid out again and one screen is drawn. The
// parts are measured alone as well, to show where the time goes.
#include "editor/MarkdownEditor.h"
#include "editor/MarkdownTextView.h"
#include "markdown/TableGrid.h"
#include "platform/text/Utf.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

namespace {

using namespace velkin;

const U16String& changelog()
{
    static const U16String text = [] {
        std::ifstream in("/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md", std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return u16(s.str());
    }();
    return text;
}

// A window-sized editor over the changelog, restyled and laid out, the caret mid-document.
struct Session {
    std::shared_ptr<U16String> document = std::make_shared<U16String>(changelog());
    std::unique_ptr<MarkdownEditorView> host;
    QImage screen{900, 800, QImage::Format_ARGB32_Premultiplied};

    explicit Session(U16View text = changelog())
    {
        *document = U16String(text);
        auto doc = document;
        host = std::make_unique<MarkdownEditorView>(
            MarkdownEditor{{[doc] { return *doc; }, [doc](const U16String& t) { *doc = t; }}, 1.0,
                           MarkdownFontFamily::sansSerif});
        view().resize(screen.size());
        const int middle = int(view().string().find(u'\n', view().string().size() / 2));
        view().setSelectedRange({middle, 0});
        host->coordinator().restyle(view());
        view().layoutDocument();
        view().scrollRangeToVisible(view().selectedRange());
        draw();
    }
    MarkdownTextView& view() const { return *host->textView(); }
    void draw()
    {
        QPainter painter(&screen);
        const QRectF visible = view().visibleContainerRect();
        view().drawContents(painter, visible, -visible.topLeft(), true);
    }
};

// Typing and deleting in turn keeps the document the same size.
void keystroke(Session& s, bool& inserting)
{
    if (inserting)
        s.view().insertText(u"x");
    else
        s.view().doCommand(TextCommand{TextCommand::deleteBackward, false});
    inserting = !inserting;
}

void BM_KeystrokeWholeCycle1MB(benchmark::State& state)
{
    Session s;
    bool inserting = true;
    for (auto _ : state) {
        keystroke(s, inserting);
        s.view().layoutDocument();
        s.draw();
        benchmark::DoNotOptimize(s.document->size());
    }
}
BENCHMARK(BM_KeystrokeWholeCycle1MB)->Unit(benchmark::kMillisecond);

// The same in a document with a table grid, which must be written back as Markdown.
void BM_KeystrokeWholeCycleWithGrid1MB(benchmark::State& state)
{
    Session s(u"| A | B |\n| --- | --- |\n| 1 | 2 |\n\n" + changelog());
    bool inserting = true;
    for (auto _ : state) {
        keystroke(s, inserting);
        s.view().layoutDocument();
        s.draw();
        benchmark::DoNotOptimize(s.document->size());
    }
}
BENCHMARK(BM_KeystrokeWholeCycleWithGrid1MB)->Unit(benchmark::kMillisecond);

void BM_EditorRestyleAlone1MB(benchmark::State& state)
{
    Session s;
    for (auto _ : state)
        s.host->coordinator().restyle(s.view());
}
BENCHMARK(BM_EditorRestyleAlone1MB)->Unit(benchmark::kMillisecond);

void BM_EditorRelayoutAfterRestyle1MB(benchmark::State& state)
{
    Session s;
    for (auto _ : state) {
        state.PauseTiming();
        s.host->coordinator().restyle(s.view());
        state.ResumeTiming();
        s.view().layoutDocument();
    }
}
BENCHMARK(BM_EditorRelayoutAfterRestyle1MB)->Unit(benchmark::kMillisecond);

void BM_EditorDrawOneScreen1MB(benchmark::State& state)
{
    Session s;
    for (auto _ : state)
        s.draw();
}
BENCHMARK(BM_EditorDrawOneScreen1MB)->Unit(benchmark::kMillisecond);

void BM_SerializeWithGrid1MB(benchmark::State& state)
{
    Session s(u"| A | B |\n| --- | --- |\n| 1 | 2 |\n\n" + changelog());
    for (auto _ : state)
        benchmark::DoNotOptimize(TableGrid::serialize(*s.view().textStorage()));
}
BENCHMARK(BM_SerializeWithGrid1MB)->Unit(benchmark::kMillisecond);

} // namespace
