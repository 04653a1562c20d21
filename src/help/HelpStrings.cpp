#include "help/HelpStrings.h"

#include "platform/strings/LocalizedStrings.h"

namespace velkin::HelpStrings {

U16String text(const HelpText& entry) { return LocalizedStrings::text(entry.key, entry.english); }

U16String pageMissingTitle() { return text(pageMissingTitleText); }
U16String unavailableTitle() { return text(unavailableTitleText); }
U16String unavailableMessage() { return text(unavailableMessageText); }

U16String resultsCount(long long count)
{
    return count == 1 ? text(oneResultText) : LocalizedStrings::format(text(resultsCountText), {count});
}

U16String noResults(U16View query)
{
    return LocalizedStrings::format(text(noResultsText), {query});
}

} // namespace velkin::HelpStrings
