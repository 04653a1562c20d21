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
// True when the program runs from an installed copy rather than a build tree.
bool isBundled();
// The text of demo.md in samplesDirectory(), or nothing.
std::optional<U16String> loadTestFile();
// The first "Samples" folder whose demo.md reads as UTF-8: the installed one for an
// installed program, else the working directory's, then the source root's.
std::optional<std::filesystem::path> samplesDirectory();
// The translation folders ("*.lproj") of the first candidate that has any, sorted by name.
std::vector<std::filesystem::path> localizationDirectories();
// A fresh path under the temporary directory: prefix + UUID + extension.
std::filesystem::path temporaryPath(const std::string& prefix, const std::string& extension = "");
} // namespace SelfTestFiles

// The keys every translation must define.
const std::vector<U16String>& requiredTranslationKeys();

// The check groups in run order, each defined in the file of its feature.
void demoSampleChecks(SelfTestContext&);
void syntaxSpanChecks(SelfTestContext&);
void codeHighlightChecks(SelfTestContext&);
void blockMarkerChecks(SelfTestContext&);
void stylerSizeChecks(SelfTestContext&);
void documentStatsChecks(SelfTestContext&);
void editingCommandChecks(SelfTestContext&);
void formattingActionChecks(SelfTestContext&);
void tableKerningChecks(SelfTestContext&);
void localizationChecks(SelfTestContext&);
void defaultBodySizeChecks(SelfTestContext&);
void linkRoutingChecks(SelfTestContext&);
void gridRoundTripChecks(SelfTestContext&);
void blockImageChecks(SelfTestContext&);
void imageInsertionChecks(SelfTestContext&);
void gridTypingChecks(SelfTestContext&);
void markdownDocumentChecks(SelfTestContext&);
void gridStylingChecks(SelfTestContext&);
void editingEdgeChecks(SelfTestContext&);
void syntaxStatsRoutingChecks(SelfTestContext&);
void taskListChecks(SelfTestContext&);
void saveRoundTripChecks(SelfTestContext&);
void alertChecks(SelfTestContext&);
void colorLiteralChecks(SelfTestContext&);
void emojiShortcodeChecks(SelfTestContext&);
void listContinuationChecks(SelfTestContext&);
void footnoteChecks(SelfTestContext&);
void indentedCodeChecks(SelfTestContext&);
void referenceLinkChecks(SelfTestContext&);
void autolinkChecks(SelfTestContext&);
void backslashEscapeChecks(SelfTestContext&);
void inlineHTMLChecks(SelfTestContext&);
void linkTitleChecks(SelfTestContext&);
void containerChecks(SelfTestContext&);
void escapedPipeChecks(SelfTestContext&);
void stylingCombinationChecks(SelfTestContext&);
void helpBookChecks(SelfTestContext&);
void helpStringChecks(SelfTestContext&);
void helpMarkupChecks(SelfTestContext&);
void helpNavigatorChecks(SelfTestContext&);
void helpPlainTextChecks(SelfTestContext&);
void windowChromeChecks(SelfTestContext&);
void previewImageChecks(SelfTestContext&);
void setextAndLayoutChecks(SelfTestContext&);
void storeScreenshotChecks(SelfTestContext&);
void htmlBlockChecks(SelfTestContext&);
void exportedPageChecks(SelfTestContext&);
void exportFormatChecks(SelfTestContext&);

} // namespace velkin
