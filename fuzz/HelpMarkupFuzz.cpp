// Help pages: any text makes a page (title, plain text, headings), and stripping
// the decorative syntax from its styled text only ever removes characters.
#include "FuzzInput.h"

#include "export/PreviewRendererPage.h"
#include "help/HelpMarkup.h"
#include "help/HelpPage.h"
#include "markdown/TableGrid.h"

using namespace velkin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::ensureApplication();
    const U16String text = fuzz::text(data, size);
    const HelpPage page = HelpPage::make(u"page", text);
    for (const HelpHeading& h : page.headings)
        FUZZ_CHECK(!h.title.empty() && h.plainTextOffset >= 0);

    // As the help window shows a page, less the pictures (a fuzzed address must
    // not read the machine's files).
    TextStorage storage = TableGrid::render(text, 14);
    const int before = storage.length();
    PreviewRenderer::collapseAllTasks(storage, 13);
    PreviewRenderer::collapseAllShortcodes(storage);
    HelpMarkup::stripDecorativeSyntax(storage);
    FUZZ_CHECK(storage.length() <= before);
    return 0;
}
