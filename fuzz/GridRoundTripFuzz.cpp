// Tables shown as grids: a text turned into grids and written back, with no cell
// edited, is the text itself.
#include "FuzzInput.h"

#include "markdown/TableGrid.h"

#include "platform/text/Utf.h"

#include <cstdio>

using namespace velkin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::ensureApplication();
    const U16String text = fuzz::text(data, size);
    const TextStorage grids = TableGrid::render(text, 14);
    const U16String back = TableGrid::serialize(grids);
    if (back != text) {
        std::fprintf(stderr, "Round trip changed the text:\n--- in\n%s\n--- out\n%s\n", u8(text).c_str(), u8(back).c_str());
        FUZZ_CHECK(back == text);
    }
    return 0;
}
