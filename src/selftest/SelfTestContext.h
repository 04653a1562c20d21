#pragma once
// What every check group receives: the tally and the run's shared inputs.
#include "platform/text/Range.h"
#include "selftest/Checker.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace velkin {

class HelpBook;

struct SelfTestContext {
    Checker& checker;
    // The demo sample's text, when it could be found.
    std::optional<U16String> demo;
    // The help book, loaded before the help-viewer groups run.
    const HelpBook* helpBook = nullptr;

    void check(const std::string& name, bool passed, const std::optional<std::string>& note = std::nullopt)
    {
        checker.check(name, passed, note);
    }
    void skip(const std::string& name, const std::string& reason) { checker.skip(name, reason); }
};

namespace SelfTestFiles {
// The source tree the program was built from.
const std::filesystem::path& sourceRoot();
// True when the program runs from an installed copy rather than a build tree.
bool isBundled();
// The text of Samples/demo.md (working directory first, then the source root), or nothing.
std::optional<U16String> loadTestFile();
// The first "Samples" folder (working directory, then source root) whose demo.md reads as UTF-8.
std::optional<std::filesystem::path> samplesDirectory();
// The translation folders ("*.lproj") of the first candidate that has any, sorted by name.
std::vector<std::filesystem::path> localizationDirectories();
// A fresh path under the temporary directory: prefix + UUID + extension.
std::filesystem::path temporaryPath(const std::string& prefix, const std::string& extension = "");
} // namespace SelfTestFiles

// The keys every translation must define (checked by group 10).
const std::vector<U16String>& requiredTranslationKeys();

// Check groups, in run order. Each is defined in the file of its feature area.
void group01DemoSpans(SelfTestContext&);
void group02InlineBlockSpans(SelfTestContext&);
void group03CodeHighlighting(SelfTestContext&);
void group04BlockMarkers(SelfTestContext&);
void group05StylerSizes(SelfTestContext&);
void group06DocumentStats(SelfTestContext&);
void group07EditingCommands(SelfTestContext&);
void group08FormattingActions(SelfTestContext&);
void group09TableKerning(SelfTestContext&);
void group10Localization(SelfTestContext&);
void group11DefaultBodySize(SelfTestContext&);
void group12LinkRouting(SelfTestContext&);
void group13GridRoundTrips(SelfTestContext&);
void group14BlockImages(SelfTestContext&);
void group15ImageInsertion(SelfTestContext&);
void group16GridTyping(SelfTestContext&);
void group17MarkdownDocument(SelfTestContext&);
void group18GridStyling(SelfTestContext&);
void group19MoreEditing(SelfTestContext&);
void group20EdgeCases(SelfTestContext&);
void group21TaskLists(SelfTestContext&);
void group22SaveRoundTrip(SelfTestContext&);
void group23Alerts(SelfTestContext&);
void group24ColorLiterals(SelfTestContext&);
void group25EmojiShortcodes(SelfTestContext&);
void group26ListContinuation(SelfTestContext&);
void group27Footnotes(SelfTestContext&);
void group28IndentedCode(SelfTestContext&);
void group29ReferenceLinks(SelfTestContext&);
void group30Autolinks(SelfTestContext&);
void group31BackslashEscapes(SelfTestContext&);
void group32InlineHTML(SelfTestContext&);
void group33LinkTitles(SelfTestContext&);
void group34Containers(SelfTestContext&);
void group35EscapedPipes(SelfTestContext&);
void group36StylingCombinations(SelfTestContext&);
void group37HelpBook(SelfTestContext&);
void group38HelpStrings(SelfTestContext&);
void group39HelpMarkup(SelfTestContext&);
void group40HelpNavigator(SelfTestContext&);
void group41HelpPlainText(SelfTestContext&);
void group42WindowChrome(SelfTestContext&);
void group43PreviewImages(SelfTestContext&);
void group44SetextAndLayout(SelfTestContext&);
void group45StoreScreenshots(SelfTestContext&);
void group46HTMLBlocks(SelfTestContext&);
void group47ExportedPage(SelfTestContext&);
void group48ExportFormats(SelfTestContext&);

} // namespace velkin
