// Emoji drawing: a screen of 500 colour emoji repainted after its first paint
// (as shortcodes shown as their emoji, and as emoji characters in the text);
// and one paragraph of many shortcodes as a PDF and in an editor, whose cost
// must grow linearly with their number (the page image is BM_RenderShortcodes).
#include "document/CodeBlockLayoutManager.h"
#include "editor/MarkdownEditor.h"
#include "editor/MarkdownTextView.h"
#include "export/Export.h"
#include "export/PreviewRendererPage.h"
#include "markdown/EmojiShortcode.h"
#include "platform/text/Utf.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

#include <filesystem>
#include <string>

namespace {

constexpr double kWidth = 760;
constexpr double kBaseSize = 14;
constexpr double kScale = 2;

const char* const kNames[] = {"smile", "rocket", "tada", "heart", "eyes", "fire", "sparkles", "bug", "warning",
                              "x", "100", "thinking", "pray", "clap", "joy", "wave", "bulb", "memo", "zap", "coffee",
                              "pizza", "dog", "cat", "whale", "unicorn"};

// 25 lines of 20 emoji: 500 on one screen, 25 different ones.
std::string emojiScreen(bool shortcodes)
{
    std::string out;
    for (int line = 0; line < 25; ++line) {
        for (int i = 0; i < 20; ++i) {
            const char* name = kNames[size_t(line + i) % std::size(kNames)];
            if (shortcodes) {
                out += std::string(":") + name + ": ";
            } else {
                const auto emoji = velkin::EmojiShortcode::emoji(velkin::u16(name));
                out += velkin::u8(emoji.value_or(u"?")) + " ";
            }
        }
        out += "\n\n";
    }
    return out;
}

void BM_DrawEmojiScreen(benchmark::State& state)
{
    const bool shortcodes = state.range(0) == 1;
    velkin::TextStorage storage =
        velkin::PreviewRenderer::preparePage(velkin::u16(emojiScreen(shortcodes)), kWidth, kBaseSize, std::nullopt);
    velkin::CodeBlockLayoutManager layout(&storage);
    layout.setTextContainer({kWidth, 1e12, 4});
    layout.ensureLayout();
    const QRectF visible(0, 0, kWidth, layout.usedRect().height());
    QImage image(int(visible.width() * kScale), int(visible.height() * kScale), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(kScale);
    image.fill(Qt::white);
    // Painting over the last paint blends as much as painting on a cleared screen.
    auto paint = [&] {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        layout.draw(painter, visible, QPointF());
    };
    paint();  // the first paint may decode what later ones reuse
    for (auto _ : state) {
        paint();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetLabel(shortcodes ? "shortcodes" : "characters");
}
BENCHMARK(BM_DrawEmojiScreen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

std::string shortcodeParagraph(int64_t count)
{
    std::string out;
    out.reserve(size_t(count) * 8 + 1);
    for (int64_t i = 0; i < count; ++i)
        out += ":smile: ";
    return out + "\n";
}

// A PDF of one paragraph of `count` shortcodes.
void BM_PDFShortcodeParagraph(benchmark::State& state)
{
    const velkin::U16String text = velkin::u16(shortcodeParagraph(state.range(0)));
    const std::filesystem::path out = std::filesystem::temp_directory_path() / "velkin-emoji-bench.pdf";
    for (auto _ : state)
        benchmark::DoNotOptimize(velkin::Export::write(text, out, velkin::ExportFormat::pdf, {}));
    std::filesystem::remove(out);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_PDFShortcodeParagraph)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Complexity();

// An editor opened on one paragraph of `count` shortcodes: styled, collapsed,
// laid out and its first screen drawn.
void BM_EditorShortcodeParagraph(benchmark::State& state)
{
    const velkin::U16String text = velkin::u16(shortcodeParagraph(state.range(0)));
    QImage screen(900, 800, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        auto document = std::make_shared<velkin::U16String>(text);
        velkin::MarkdownEditorView host(velkin::MarkdownEditor{
            {[document] { return *document; }, [document](const velkin::U16String& t) { *document = t; }}, 1.0,
            velkin::MarkdownFontFamily::sansSerif});
        velkin::MarkdownTextView& view = *host.textView();
        view.resize(screen.size());
        view.setSelectedRange({0, 0});
        host.coordinator().restyle(view);
        view.layoutDocument();
        QPainter painter(&screen);
        const QRectF visible = view.visibleContainerRect();
        view.drawContents(painter, visible, -visible.topLeft(), true);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_EditorShortcodeParagraph)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace
