#include "platform/layout/TextMeasure.h"

#include <QFontMetricsF>
#include <QString>

#include <map>
#include <memory>
#include <tuple>

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
