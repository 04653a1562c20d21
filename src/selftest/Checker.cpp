#include "selftest/Checker.h"

namespace velkin {

void Checker::line(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fputc('\n', out_);
}

void Checker::check(const std::string& name, bool passed, const std::optional<std::string>& note)
{
    ++total_;
    if (passed) {
        line("  \u2713 " + name);
        return;
    }
    ++failed_;
    ok_ = false;
    std::string text = "  \u2717 " + name;
    if (note)
        text += " - " + *note;
    line(text);
}

void Checker::skip(const std::string& name, const std::string& reason)
{
    ++skipped_;
    line("  \u2013 " + name + " - skipped: " + reason);
}

void Checker::summarize()
{
    line("");
    std::string text = ok_ ? "Self-test passed: " + std::to_string(total_) + " checks."
                           : "Self-test FAILED: " + std::to_string(failed_) + " of " + std::to_string(total_)
                                 + " checks failed.";
    if (skipped_ > 0)
        text += " (" + std::to_string(skipped_) + " skipped)";
    line(text);
    std::fflush(out_);
}

} // namespace velkin
