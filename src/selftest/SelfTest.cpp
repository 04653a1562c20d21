#include "selftest/SelfTest.h"

#include "help/HelpBook.h"
#include "selftest/SelfTestContext.h"

namespace velkin::SelfTest {

bool run()
{
    Checker checker;
    SelfTestContext t{checker, SelfTestFiles::loadTestFile()};

    using Group = void (*)(SelfTestContext&);
    static constexpr Group beforeHelp[] = {
        demoSampleChecks, syntaxSpanChecks, codeHighlightChecks, blockMarkerChecks,
        stylerSizeChecks, documentStatsChecks, editingCommandChecks, formattingActionChecks,
        tableKerningChecks, localizationChecks, defaultBodySizeChecks, linkRoutingChecks,
        gridRoundTripChecks, blockImageChecks, imageInsertionChecks, gridTypingChecks,
        markdownDocumentChecks, gridStylingChecks, editingEdgeChecks, syntaxStatsRoutingChecks,
        taskListChecks, saveRoundTripChecks, alertChecks, colorLiteralChecks,
        emojiShortcodeChecks, listContinuationChecks, footnoteChecks, indentedCodeChecks,
        referenceLinkChecks, autolinkChecks, backslashEscapeChecks, inlineHTMLChecks,
        linkTitleChecks, containerChecks, escapedPipeChecks, stylingCombinationChecks,
    };
    for (Group g : beforeHelp)
        g(t);

    // The help-viewer groups and everything after them need the help book.
    const std::optional<HelpBook> book = HelpBook::load();
    if (!book) {
        checker.check("help book loads", false, "could not locate Help/");
        checker.summarize();
        return false;
    }
    t.helpBook = &*book;
    static constexpr Group afterHelp[] = {
        helpBookChecks, helpStringChecks, helpMarkupChecks, helpNavigatorChecks,
        helpPlainTextChecks, windowChromeChecks, previewImageChecks, setextAndLayoutChecks,
        storeScreenshotChecks, htmlBlockChecks, exportedPageChecks, exportFormatChecks,
    };
    for (Group g : afterHelp)
        g(t);

    checker.summarize();
    return checker.ok();
}

} // namespace velkin::SelfTest
