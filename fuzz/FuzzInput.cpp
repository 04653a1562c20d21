#include "FuzzInput.h"

#include <QGuiApplication>

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace velkin::fuzz {

U16String text(const uint8_t* data, size_t size)
{
    U16String out;
    out.reserve(size);
    size_t i = 0;
    auto continuation = [&](size_t at) { return at < size && (data[at] & 0xC0) == 0x80; };
    while (i < size) {
        const uint8_t b = data[i];
        if (b < 0x80) {
            out.push_back(char16_t(b));
            ++i;
        } else if (b == 0xFF && i + 2 < size) {
            out.push_back(char16_t((data[i + 1] << 8) | data[i + 2]));
            i += 3;
        } else if (b >= 0xC2 && b <= 0xDF && continuation(i + 1)) {
            out.push_back(char16_t(((b & 0x1F) << 6) | (data[i + 1] & 0x3F)));
            i += 2;
        } else if (b >= 0xE0 && b <= 0xEF && continuation(i + 1) && continuation(i + 2)) {
            const char32_t c = (char32_t(b & 0x0F) << 12) | (char32_t(data[i + 1] & 0x3F) << 6) | (data[i + 2] & 0x3F);
            out.push_back(c < 0x800 ? u'\uFFFD' : char16_t(c));
            i += 3;
        } else if (b >= 0xF0 && b <= 0xF4 && continuation(i + 1) && continuation(i + 2) && continuation(i + 3)) {
            const char32_t c = (char32_t(b & 0x07) << 18) | (char32_t(data[i + 1] & 0x3F) << 12)
                | (char32_t(data[i + 2] & 0x3F) << 6) | (data[i + 3] & 0x3F);
            if (c < 0x10000 || c > 0x10FFFF) {
                out.push_back(u'\uFFFD');
            } else {
                out.push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
                out.push_back(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
            }
            i += 4;
        } else {
            out.push_back(u'\uFFFD');
            ++i;
        }
    }
    return out;
}

void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "velkin-fuzz";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);  // lives for the whole run
    std::setlocale(LC_NUMERIC, "C");
}

void fail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

} // namespace velkin::fuzz
