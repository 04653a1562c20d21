#include "help/HelpStrings.h"

#include "platform/strings/LocalizedStrings.h"

namespace velkin::HelpStrings {

U16String text(const HelpText& entry) { return LocalizedStrings::text(entry.key, entry.english); }

U16String pageMissingTitle() { return text(pageMissingTitleText); }
U16String unavailableTitle() { return text(unavailableTitleText); }
U16String unavailableMessage() { return text(unavailableMessageText); }

U16String resultsCount(long long count)
{
    return LocalizedStrings::format(text(resultsCountText), {count});
}

} // namespace velkin::HelpStrings
