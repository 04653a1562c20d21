#include "platform/regex/Regex.h"

#include "platform/text/Utf.h"

#include <unicode/regex.h>
#include <unicode/utext.h>

#include <cstdio>
#include <cstdlib>

namespace velkin {

namespace {

// Steps before a runaway search gives up (ICU counts roughly in milliseconds' worth of work).
constexpr int32_t kTimeLimit = 4000;

thread_local unsigned long abandoned = 0;

} // namespace

Regex::Regex(U16View pattern, unsigned options)
{
    compile(pattern.data(), int(pattern.size()), options);
}

Regex::Regex(const char* utf8Pattern, unsigned options)
{
    const U16String pattern = u16(utf8Pattern);
    compile(pattern.data(), int(pattern.size()), options);
}

Regex::~Regex() = default;

void Regex::compile(const char16_t* pattern, int length, unsigned options)
{
    uint32_t flags = 0;
    if (options & CaseInsensitive)
        flags |= UREGEX_CASE_INSENSITIVE;
    if (options & AnchorsMatchLines)
        flags |= UREGEX_MULTILINE;
    if (options & DotMatchesLineSeparators)
        flags |= UREGEX_DOTALL;
    if (options & AllowCommentsAndWhitespace)
        flags |= UREGEX_COMMENTS;
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    icu::UnicodeString source(reinterpret_cast<const UChar*>(pattern), length);
    pattern_.reset(icu::RegexPattern::compile(source, flags, parseError, status));
    if (U_FAILURE(status) || !pattern_) {
        std::fprintf(stderr, "velkin: invalid regular expression (%s at offset %d): %s\n", u_errorName(status),
                     parseError.offset, u8(U16View(pattern, size_t(length))).c_str());
        std::abort();
    }
    auto matcher = makeMatcher();
    groupCount_ = matcher->groupCount();
    cached_ = std::move(matcher);
}

std::unique_ptr<icu::RegexMatcher> Regex::makeMatcher() const
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(pattern_->matcher(status));
    if (U_FAILURE(status) || !m) {
        std::fprintf(stderr, "velkin: cannot create a regular expression matcher: %s\n", u_errorName(status));
        std::abort();
    }
    m->setTimeLimit(kTimeLimit, status);
    return m;
}

void Regex::forEachMatch(U16View text, Range within, unsigned matchOptions,
                         const std::function<bool(const Match&)>& visit) const
{
    const int n = int(text.size());
    const int start = std::clamp(within.location, 0, n);
    const int stop = std::clamp(within.end(), start, n);

    std::unique_ptr<icu::RegexMatcher> own;
    icu::RegexMatcher* m = nullptr;
    const bool wasBusy = busy_.exchange(true);
    if (wasBusy) {
        own = makeMatcher();
        m = own.get();
    } else {
        m = cached_.get();
    }

    UErrorCode status = U_ZERO_ERROR;
    UText* ut = utext_openUChars(nullptr, reinterpret_cast<const UChar*>(text.data()), n, &status);
    m->reset(ut);
    m->region(start, stop, status);
    m->useTransparentBounds(matchOptions & TransparentBounds);
    m->useAnchoringBounds(!(matchOptions & WithoutAnchoringBounds));

    Match match;
    match.groups.resize(size_t(groupCount_) + 1);
    if (U_SUCCESS(status)) {
        for (;;) {
            UErrorCode s = U_ZERO_ERROR;
            bool found;
            if (matchOptions & Whole)
                found = m->matches(s);
            else if (matchOptions & Anchored)
                found = m->lookingAt(s);
            else
                found = m->find(s);
            if (U_FAILURE(s))
                ++abandoned;
            if (U_FAILURE(s) || !found)
                break;
            for (int g = 0; g <= groupCount_; ++g) {
                UErrorCode gs = U_ZERO_ERROR;
                const int64_t a = m->start64(g, gs);
                const int64_t b = m->end64(g, gs);
                match.groups[size_t(g)] = (U_FAILURE(gs) || a < 0) ? Range::notFound() : Range{int(a), int(b - a)};
            }
            if (!visit(match) || (matchOptions & (Anchored | Whole)))
                break;
        }
    }
    // Detach the matcher from the caller's buffer before it may go away.
    UErrorCode s = U_ZERO_ERROR;
    static const UChar empty[1] = {0};
    UText* blank = utext_openUChars(nullptr, empty, 0, &s);
    m->reset(blank);
    utext_close(blank);
    utext_close(ut);
    if (!wasBusy)
        busy_.store(false);
}

std::optional<Regex::Match> Regex::firstMatch(U16View text, Range within, unsigned matchOptions) const
{
    std::optional<Match> result;
    forEachMatch(text, within, matchOptions, [&](const Match& m) {
        result = m;
        return false;
    });
    return result;
}

std::optional<Regex::Match> Regex::firstMatch(U16View text, unsigned matchOptions) const
{
    return firstMatch(text, Range{0, int(text.size())}, matchOptions);
}

std::vector<Regex::Match> Regex::matches(U16View text, Range within, unsigned matchOptions) const
{
    std::vector<Match> result;
    forEachMatch(text, within, matchOptions, [&](const Match& m) {
        result.push_back(m);
        return true;
    });
    return result;
}

std::vector<Regex::Match> Regex::matches(U16View text, unsigned matchOptions) const
{
    return matches(text, Range{0, int(text.size())}, matchOptions);
}

unsigned long Regex::abandonedSearches()
{
    return abandoned;
}

bool Regex::matchesWhole(U16View text) const
{
    return firstMatch(text, Whole).has_value();
}

} // namespace velkin
