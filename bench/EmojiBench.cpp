// Emoji drawing: a screen of 500 colour emoji repainted after its first paint
// (as shortcodes shown as their emoji, and as emoji characters in the text),
// and page images of one paragraph of many shortcodes, whose cost must grow
// linearly with their number.
#include "document/CodeBlockLayoutManager.h"
#include "export/PreviewRendererPage.h"
#include "markdown/EmojiShortcode.h"
#include "platform/text/Utf.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

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

void drawEmojiScreen(benchmark::State& state)
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
BENCHMARK(drawEmojiScreen)->Name("BM_DrawEmojiScreen")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
