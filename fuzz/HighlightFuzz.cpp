// The code highlighter: the first byte picks the language, the rest is the code;
// every token lies inside the code, in order and without overlap.
#include "FuzzInput.h"

#include "export/MarkdownHTML.h"
#include "highlight/CodeHighlighter.h"

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
    int end = 0;
    for (const CodeToken& t : *tokens) {
        FUZZ_CHECK(t.range.location >= end && t.range.length >= 0 && t.range.end() <= n);
        end = t.range.end();
    }
    (void)MarkdownHTML::highlighted(code, language);
    return 0;
}
