#include "selftest/SelfTest.h"

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

    checker.summarize();
    return checker.ok();
}

} // namespace velkin::SelfTest
