#pragma once
// The help viewer's interface texts, looked up in the localised string tables.
//
// Each text has its key, its English wording (used when no table has the key) and
// the note that tells translators where it appears.
#include "platform/text/Range.h"

namespace velkin {

struct HelpText {
    const char16_t* key;
    const char16_t* english;  // the key itself for texts keyed by their English words
    const char16_t* comment;
};

namespace HelpStrings {

inline constexpr HelpText pageMissingTitleText{u"helpPageMissingTitle", u"That help page isn't available.",
                                               u"Shown when a help page can't be loaded"};
inline constexpr HelpText unavailableTitleText{u"helpUnavailableTitle", u"Help Isn't Available",
                                               u"Title of the alert shown when the help files are missing"};
inline constexpr HelpText unavailableMessageText{
    u"helpUnavailableMessage",
    u"Velkin couldn't find its help files. Rebuilding the app with \u201Cmake\u201D will restore them.",
    u"Body of the alert shown when the help files are missing"};
inline constexpr HelpText resultsCountText{u"helpResultsCount", u"%lld results",
                                           u"Heading over the help search results; %lld is a count"};
inline constexpr HelpText oneResultText{u"helpResultsCountOne", u"1 result",
                                        u"Heading over the help search results when there is one"};
inline constexpr HelpText noResultsText{u"helpNoResults",
                                        u"No Results for \u201C%@\u201D\n\nCheck the spelling or try a new search.",
                                        u"Shown instead of search results when nothing matched; %@ is the query"};

inline constexpr HelpText contentsRow{u"helpContentsRow", u"Contents",
                                      u"Sidebar row that returns to the help contents page"};
inline constexpr HelpText searchPrompt{u"helpSearchPrompt", u"Search Help",
                                       u"Placeholder in the help window's search field"};
inline constexpr HelpText pageAccessibilityLabel{u"helpPageAccessibilityLabel", u"Help page",
                                                 u"VoiceOver label for the rendered help page"};
inline constexpr HelpText back{u"Back", u"Back", u"Help window's Back button"};
inline constexpr HelpText forward{u"Forward", u"Forward", u"Help window's Forward button"};
inline constexpr HelpText windowTitle{u"Velkin Help", u"Velkin Help", u"Help menu item, and the help window's title"};
inline constexpr HelpText ok{u"OK", u"OK", u"OK button"};

// The text of one entry in the user's language.
U16String text(const HelpText& entry);

// "That help page isn't available."
U16String pageMissingTitle();
// "Help Isn't Available"
U16String unavailableTitle();
// The body of the alert shown when the help files are missing.
U16String unavailableMessage();
// "7 results": the count filled into the localised format.
U16String resultsCount(long long count);
// The text shown when a search found nothing.
U16String noResults(U16View query);

} // namespace HelpStrings

} // namespace velkin
