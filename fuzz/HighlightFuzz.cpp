// The code highlighter: the first byte picks the language, the rest is the code;
// every token lies inside the code (tokens may overlap: Markdown's fence marks
// lie inside its code blocks, and the writers let the first one win).
#include "FuzzInput.h"

#include "export/MarkdownHTML.h"
#include "highlight/CodeHighlighter.h"
#include "platform/text/Utf.h"

#include <cstdio>

using namespace velkin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const std::vector<U16String> languages = [] {
        std::vector<U16String> all;
        for (U16View name : CodeHighlighter::ruleLanguageNames())
            all.emplace_back(name);
        for (U16View name : CodeHighlighter::specialLanguageNames())
            all.emplace_back(name);
        return all;
    }();
    const U16String& language = languages[data[0] % languages.size()];
    const U16String code = fuzz::text(data + 1, size - 1);
    const int n = int(code.size());
    const std::optional<CodeTokens> tokens = CodeHighlighter::tokens(code, language);
    FUZZ_CHECK(tokens.has_value());
    for (const CodeToken& t : *tokens) {
        if (!(t.range.location >= 0 && t.range.length >= 0 && t.range.end() <= n)) {
            std::fprintf(stderr, "%s: token at %d+%d (kind %d) in %d units\n", u8(language).c_str(),
                         t.range.location, t.range.length, int(t.kind), n);
            FUZZ_CHECK(!"tokens inside the code");
        }
    }
    (void)MarkdownHTML::highlighted(code, language);
    return 0;
}
