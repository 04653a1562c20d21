// The HTML page: any text gives a whole page, and no text escapes the article.
#include "FuzzInput.h"

#include "export/MarkdownHTML.h"

using namespace velkin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const U16String text = fuzz::text(data, size);
    MarkdownHTML::Options options;
    options.embedsImages = false;  // a fuzzed address must not read the machine's files
    const U16String page = MarkdownHTML::document(text, options);
    static const U16String end = u"\n</article>\n</body>\n</html>";
    FUZZ_CHECK(page.size() >= end.size() && page.compare(page.size() - end.size(), end.size(), end) == 0);
    (void)MarkdownHTML::substitutingEmoji(text);
    (void)MarkdownHTML::anchor(text);
    return 0;
}
