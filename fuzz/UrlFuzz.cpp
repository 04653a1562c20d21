// Addresses: the first line is a base, the second a reference resolved against
// it. A parsed address keeps its text, and a resolved one parses again as itself.
#include "FuzzInput.h"

#include "platform/url/Url.h"

using namespace velkin;

namespace {

void exercise(const Url& url)
{
    (void)url.isFileURL();
    (void)url.host();
    (void)url.path();
    (void)url.encodedPath();
    (void)url.query();
    (void)url.fragment();
    (void)url.pathExtension();
    (void)url.lastPathComponent();
    (void)url.deletingLastPathComponent();
    (void)url.deletingPathExtension();
    (void)url.appendingPathComponent("a b/%");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view all = fuzz::bytes(data, size);
    const size_t feed = all.find('\n');
    const std::string_view first = all.substr(0, feed);
    const std::string_view second = feed == std::string_view::npos ? std::string_view() : all.substr(feed + 1);

    const std::optional<Url> base = Url::parse(first);
    if (base) {
        FUZZ_CHECK(base->string() == first);
        exercise(*base);
        if (const std::optional<Url> resolved = Url::parse(second, *base)) {
            exercise(*resolved);
            const std::optional<Url> again = Url::parse(resolved->string());
            FUZZ_CHECK(again && again->string() == resolved->string());
        }
    }
    (void)Url::percentDecode(all);
    const std::string encoded = Url::percentEncode(all);
    const std::optional<std::string> decoded = Url::percentDecode(encoded);
    FUZZ_CHECK(decoded && *decoded == all);
    return 0;
}
