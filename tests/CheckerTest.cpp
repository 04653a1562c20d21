#include "selftest/Checker.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace velkin;

namespace {

std::string runToText(void (*body)(Checker&))
{
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    Checker checker(out);
    body(checker);
    std::fclose(out);
    std::string text(buffer, size);
    free(buffer);
    return text;
}

} // namespace

TEST(Checker, PrintsChecksFailuresSkipsAndVerdict)
{
    const std::string text = runToText([](Checker& c) {
        c.check("first passes", true, "ignored note");
        c.check("second fails", false, "why it failed");
        c.check("third fails quietly", false);
        c.skip("fourth", "not here");
        c.summarize();
    });
    EXPECT_EQ(text,
              "  \u2713 first passes\n"
              "  \u2717 second fails - why it failed\n"
              "  \u2717 third fails quietly\n"
              "  \u2013 fourth - skipped: not here\n"
              "\n"
              "Self-test FAILED: 2 of 3 checks failed. (1 skipped)\n");
}

TEST(Checker, PassedVerdictCountsOnlyMadeChecks)
{
    const std::string text = runToText([](Checker& c) {
        for (int i = 0; i < 1200; ++i)
            c.check("check", true);
        c.skip("a", "r");
        c.skip("b", "r");
        c.skip("c", "r");
        c.summarize();
    });
    EXPECT_NE(text.find("\n\nSelf-test passed: 1200 checks. (3 skipped)\n"), std::string::npos);
}

TEST(Checker, OkNeverTurnsBack)
{
    runToText([](Checker& c) {
        c.check("fails", false);
        c.check("passes", true);
        EXPECT_FALSE(c.ok());
        EXPECT_EQ(c.total(), 2);
        EXPECT_EQ(c.failed(), 1);
        c.summarize();
    });
}
