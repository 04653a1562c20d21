// The string-table parser: a table or a line-numbered error, never anything else;
// and formats fill in whatever the pattern.
#include "FuzzInput.h"

#include "platform/strings/LocalizedStrings.h"

#include <algorithm>

using namespace velkin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const U16String text = fuzz::text(data, size);
    LocalizedStrings::Table::Error error;
    const auto table = LocalizedStrings::Table::parse(text, &error);
    if (!table) {
        const int lines = 1 + int(std::count(text.begin(), text.end(), u'\n'));
        FUZZ_CHECK(error.line >= 1 && error.line <= lines + 1);
        FUZZ_CHECK(!error.message.empty());
    } else {
        for (const auto& [key, value] : table->entries())
            FUZZ_CHECK(table->find(key) && *table->find(key) == value);
    }
    (void)LocalizedStrings::format(text, {1, u"two", 3ll});
    return 0;
}
