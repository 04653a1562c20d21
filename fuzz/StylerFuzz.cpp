// The styler on a storage with no view: it changes no character, and a restyle
// after an edit gives what a fresh storage with the edited text gets.
#include "FuzzInput.h"

#include "markdown/MarkdownStyler.h"

using namespace velkin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::ensureApplication();
    const U16String text = fuzz::text(data, size);
    const MarkdownStyler styler;
    TextStorage storage(text);
    styler.apply(storage);
    FUZZ_CHECK(storage.string() == text);

    // An edit in the middle (the storage string may move), then a whole restyle.
    const int at = int(size % (text.size() + 1));
    storage.replaceCharacters(Range{at, 0}, U16String(u"*\n"));
    styler.apply(storage);
    U16String edited = text;
    edited.insert(size_t(at), u"*\n");
    FUZZ_CHECK(storage.string() == edited);
    TextStorage fresh(edited);
    styler.apply(fresh);
    // Markers compare by identity, so the two are compared by their fonts.
    for (int i = 0; i < fresh.length(); ++i) {
        const Font* a = fresh.font(i);
        const Font* b = storage.font(i);
        FUZZ_CHECK((a == nullptr) == (b == nullptr) && (!a || *a == *b));
    }
    return 0;
}
