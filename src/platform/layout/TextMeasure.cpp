#include "platform/layout/TextMeasure.h"

#include <QFontMetricsF>
#include <QString>

#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <utility>

namespace velkin::TextMeasure {

namespace {

// Metrics are costly to make; keep one per font value (main thread only).
const QFontMetricsF& metrics(const Font& font)
{
    using Key = std::tuple<int, double, bool, bool>;
    static std::map<Key, std::unique_ptr<QFontMetricsF>> cache;
    const Key key{int(font.family), font.pointSize, font.bold, font.italic};
    auto it = cache.find(key);
    if (it == cache.end()) {
        if (cache.size() > 256)
            cache.clear();
        it = cache.emplace(key, std::make_unique<QFontMetricsF>(font.toQFont())).first;
    }
    return *it->second;
}

} // namespace

double width(U16View text, const Font& font)
{
    if (text.empty())
        return 0;
    const QString s = QString::fromRawData(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size()));
    return metrics(font).horizontalAdvance(s);
}

double emojiWidth(U16View emoji, double size)
{
    if (emoji.empty() || !(size > 0))
        return 0;
    // Measuring a colour emoji decodes its bitmap glyph every time: widths are
    // remembered per emoji and size (a document uses few of each).
    static std::mutex lock;
    static std::map<double, std::unique_ptr<QFontMetricsF>> metrics;
    static std::map<std::pair<U16String, double>, double, std::less<>> widths;
    std::lock_guard<std::mutex> guard(lock);
    auto known = widths.find(std::make_pair(U16String(emoji), size));
    if (known != widths.end())
        return known->second;
    auto it = metrics.find(size);
    if (it == metrics.end()) {
        if (metrics.size() > 64)
            metrics.clear();
        it = metrics.emplace(size, std::make_unique<QFontMetricsF>(Font::system(size).toQFont(true))).first;
    }
    const QString s = QString::fromRawData(reinterpret_cast<const QChar*>(emoji.data()), qsizetype(emoji.size()));
    const double w = std::ceil(it->second->horizontalAdvance(s));
    if (widths.size() > 20000)
        widths.clear();
    widths.emplace(std::make_pair(U16String(emoji), size), w);
    return w;
}

double width(const AttributedString& text, Range range, const Font& fallback)
{
    double total = 0;
    const U16View s = text.string();
    text.enumerateRuns(range, [&](const Attributes& a, Range run) {
        const Font* f = a.font();
        total += width(substring(s, run), f ? *f : fallback);
        if (auto kern = a.number(AttributeKey::Kern))
            total += *kern * run.length;
    });
    return total;
}

} // namespace velkin::TextMeasure
