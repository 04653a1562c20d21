#pragma once
// Regular expressions on UTF-16 text, with ICU's syntax.
//
// A Regex is compiled once (keep it in a function-local static) and is then
// searched many times; a pattern that fails to compile is a programming error
// and aborts with its text. Searches read the caller's text in place.
#include "platform/text/Range.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class RegexPattern;
class RegexMatcher;
U_NAMESPACE_END

namespace velkin {

class Regex {
public:
    enum Option : unsigned {
        None = 0,
        CaseInsensitive = 1u << 0,
        AnchorsMatchLines = 1u << 1,          // ^ and $ at line boundaries
        DotMatchesLineSeparators = 1u << 2,
        AllowCommentsAndWhitespace = 1u << 3,
    };
    // How a search treats its range.
    enum MatchOption : unsigned {
        Plain = 0,
        TransparentBounds = 1u << 0,   // look-around sees text outside the range
        WithoutAnchoringBounds = 1u << 1,  // ^ and $ do not match at the range's ends
        Anchored = 1u << 2,            // the match must start at the range's start
        Whole = 1u << 3,               // the match must cover the whole range
    };

    struct Match {
        // Group 0 is the whole match; a group that did not take part is Range::notFound().
        std::vector<Range> groups;
        Range range(int group = 0) const
        {
            return group >= 0 && group < int(groups.size()) ? groups[size_t(group)] : Range::notFound();
        }
        bool has(int group) const { return range(group).found(); }
        U16View text(U16View source, int group = 0) const
        {
            const Range r = range(group);
            return r.found() ? substring(source, r) : U16View();
        }
    };

    explicit Regex(U16View pattern, unsigned options = None);
    explicit Regex(const char* utf8Pattern, unsigned options = None);
    ~Regex();
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;

    int groupCount() const { return groupCount_; }

    // The first match inside `within` (the whole text when omitted).
    std::optional<Match> firstMatch(U16View text, unsigned matchOptions = Plain) const;
    std::optional<Match> firstMatch(U16View text, Range within, unsigned matchOptions = Plain) const;
    // Every match inside `within`, in order.
    std::vector<Match> matches(U16View text, unsigned matchOptions = Plain) const;
    std::vector<Match> matches(U16View text, Range within, unsigned matchOptions = Plain) const;
    // Calls `visit` for every match in order until it returns false.
    void forEachMatch(U16View text, Range within, unsigned matchOptions,
                      const std::function<bool(const Match&)>& visit) const;
    // True when the pattern matches somewhere / the whole text.
    bool isMatch(U16View text) const { return firstMatch(text).has_value(); }
    bool matchesWhole(U16View text) const;

    // How many searches on this thread have stopped at the time or stack
    // limit, their later matches untried. A caller whose result must not
    // depend on time compares it before and after and reports the failure.
    static unsigned long abandonedSearches();

private:
    void compile(const char16_t* pattern, int length, unsigned options);
    std::unique_ptr<icu::RegexMatcher> makeMatcher() const;

    std::unique_ptr<icu::RegexPattern> pattern_;
    int groupCount_ = 0;
    // One matcher is reused between searches; a nested or concurrent search makes its own.
    mutable std::unique_ptr<icu::RegexMatcher> cached_;
    mutable std::atomic<bool> busy_{false};
};

} // namespace velkin
