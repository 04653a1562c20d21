// The Markdown scanner: whatever the text, the scan ends and every span lies inside it.
#include "FuzzInput.h"

#include "markdown/Alert.h"
#include "markdown/Footnote.h"
#include "markdown/MarkdownList.h"
#include "markdown/MarkdownSyntax.h"

using namespace velkin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const U16String text = fuzz::text(data, size);
    const int n = int(text.size());
    for (const auto& s : MarkdownSyntax::spans(text))
        FUZZ_CHECK(s.range.location >= 0 && s.range.length >= 0 && s.range.end() <= n);
    for (const auto& b : Alert::blocks(text))
        FUZZ_CHECK(b.range.location >= 0 && b.range.end() <= n);
    for (const auto& d : Footnote::definitions(text))
        FUZZ_CHECK(d.block.location >= 0 && d.block.end() <= n);
    for (const auto& r : Footnote::references(text))
        FUZZ_CHECK(r.range.location >= 0 && r.range.end() <= n);
    (void)MarkdownList::lines(text);
    (void)MarkdownSyntax::setextHeadings(text);
    return 0;
}
