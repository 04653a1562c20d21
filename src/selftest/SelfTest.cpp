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
        group01DemoSpans, group02InlineBlockSpans, group03CodeHighlighting, group04BlockMarkers,
        group05StylerSizes, group06DocumentStats, group07EditingCommands, group08FormattingActions,
        group09TableKerning, group10Localization, group11DefaultBodySize, group12LinkRouting,
        group13GridRoundTrips, group14BlockImages, group15ImageInsertion, group16GridTyping,
        group17MarkdownDocument, group18GridStyling, group19MoreEditing, group20EdgeCases,
        group21TaskLists, group22SaveRoundTrip, group23Alerts, group24ColorLiterals,
        group25EmojiShortcodes, group26ListContinuation, group27Footnotes, group28IndentedCode,
        group29ReferenceLinks, group30Autolinks, group31BackslashEscapes, group32InlineHTML,
        group33LinkTitles, group34Containers, group35EscapedPipes, group36StylingCombinations,
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
        group37HelpBook, group38HelpStrings, group39HelpMarkup, group40HelpNavigator,
        group41HelpPlainText, group42WindowChrome, group43PreviewImages, group44SetextAndLayout,
        group45StoreScreenshots, group46HTMLBlocks, group47ExportedPage, group48ExportFormats,
    };
    for (Group g : afterHelp)
        g(t);

    checker.summarize();
    return checker.ok();
}

} // namespace velkin::SelfTest
