// What a long document's text leaves behind in the allocator once let go: large
// blocks go back to the system, and writing a long text's Markdown does not
// strew the heap with its lines.
#include "markdown/TableGrid.h"
#include "platform/LargeAllocations.h"
#include "platform/attributed/AttributedString.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace velkin;

namespace {

// The sanitizer build allocates with the sanitizer's allocator, not glibc's.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool glibcAllocates = false;
#else
constexpr bool glibcAllocates = true;
#endif

// A block the compiler cannot leave out.
void* touched(size_t bytes)
{
    void* block = std::malloc(bytes);
    std::memset(block, 1, bytes);
    asm volatile("" : : "r"(block) : "memory");
    return block;
}

// The most memory the main heap has ever taken from the system (glibc's own tally).
size_t heapHighWater()
{
    char* report = nullptr;
    size_t length = 0;
    FILE* out = open_memstream(&report, &length);
    malloc_info(0, out);
    std::fclose(out);
    const std::string text(report, length);
    std::free(report);
    const size_t at = text.find("<system type=\"max\" size=\"");
    return at == std::string::npos ? 0 : std::stoull(text.substr(at + 25));
}

// Takes up the free space inside the heap that could hold a block of `bytes`, as earlier work in
// the process may leave behind what it held: glibc serves a block from such space before any
// threshold counts. Stops at the first block that is mapped or grows the heap; returns the rest.
std::vector<void*> takeUpHeapHoles(size_t bytes)
{
    std::vector<void*> taken;
    for (;;) {
        const struct mallinfo2 before = mallinfo2();
        void* block = std::malloc(bytes);
        const struct mallinfo2 after = mallinfo2();
        if (after.hblkhd != before.hblkhd || after.arena != before.arena) {
            std::free(block);
            return taken;
        }
        taken.push_back(block);
    }
}

} // namespace

TEST(LargeAllocations, ALongTextsBlockIsMappedApartEvenAfterOneWasFreed)
{
    if (!glibcAllocates)
        GTEST_SKIP() << "glibc's allocator is not the one in use";
    LargeAllocations::keepApart();
    const std::vector<void*> holes = takeUpHeapHoles(20 << 20);
    // glibc would raise its threshold to this block's size once it is freed...
    std::free(touched(30 << 20));
    // ...and take the next one below it from the heap, where it stays when freed.
    const size_t mapped = mallinfo2().hblkhd;
    void* next = touched(20 << 20);
    EXPECT_GE(mallinfo2().hblkhd, mapped + (20 << 20));
    std::free(next);
    EXPECT_EQ(mallinfo2().hblkhd, mapped);
    for (void* hole : holes)
        std::free(hole);
}

TEST(LargeAllocations, WritingALongTextsMarkdownDoesNotGrowTheHeap)
{
    if (!glibcAllocates)
        GTEST_SKIP() << "glibc's allocator is not the one in use";
    LargeAllocations::keepApart();
    U16String prose;
    while (prose.size() < 8'000'000)
        prose += u"A line of prose, as long as a line of a changelog tends to be.\n\n";
    const AttributedString text(prose);
    const size_t before = heapHighWater();
    const U16String markdown = TableGrid::serialize(text);
    EXPECT_EQ(markdown, prose);
    // The Markdown is one block of its own; its lines are never each a heap block.
    EXPECT_LE(heapHighWater(), before + (1 << 20));
}
