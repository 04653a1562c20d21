#pragma once
// The self-test's tally: one printed line per check and the closing summary.
#include <cstdio>
#include <optional>
#include <string>

namespace velkin {

class Checker {
public:
    explicit Checker(std::FILE* out = stdout) : out_(out) {}

    // Records one check: "  ✓ name", or "  ✗ name - note" when it failed.
    void check(const std::string& name, bool passed, const std::optional<std::string>& note = std::nullopt);
    // Records a skipped check; skips are not counted in the total and never fail the run.
    void skip(const std::string& name, const std::string& reason);
    // Prints an empty line and the verdict line.
    void summarize();

    bool ok() const { return ok_; }
    int total() const { return total_; }
    int failed() const { return failed_; }
    int skipped() const { return skipped_; }

private:
    void line(const std::string& text);

    std::FILE* out_;
    bool ok_ = true;
    int total_ = 0;
    int failed_ = 0;
    int skipped_ = 0;
};

} // namespace velkin
