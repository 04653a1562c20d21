#include "markdown/EmojiShortcode.h"

#include "platform/text/CharacterClass.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <unordered_set>

namespace velkin::EmojiShortcode {

namespace {

struct AliasPair {
    const char* name;
    const char16_t* emoji;
};

// The names people write, in the order they are listed; several may share an emoji.
constexpr AliasPair kAliases[] = {
    {"smile", u"\U0001F604"}, {"smiley", u"\U0001F603"}, {"grin", u"\U0001F601"}, {"grinning", u"\U0001F600"},
    {"laughing", u"\U0001F606"}, {"satisfied", u"\U0001F606"}, {"sweat_smile", u"\U0001F605"},
    {"joy", u"\U0001F602"}, {"rofl", u"\U0001F923"}, {"relaxed", u"\u263A\uFE0F"}, {"blush", u"\U0001F60A"},
    {"innocent", u"\U0001F607"}, {"slightly_smiling_face", u"\U0001F642"}, {"wink", u"\U0001F609"},
    {"heart_eyes", u"\U0001F60D"}, {"kissing_heart", u"\U0001F618"}, {"yum", u"\U0001F60B"},
    {"stuck_out_tongue", u"\U0001F61B"}, {"sunglasses", u"\U0001F60E"}, {"nerd_face", u"\U0001F913"},
    {"thinking", u"\U0001F914"}, {"neutral_face", u"\U0001F610"}, {"expressionless", u"\U0001F611"},
    {"smirk", u"\U0001F60F"}, {"unamused", u"\U0001F612"}, {"roll_eyes", u"\U0001F644"},
    {"grimacing", u"\U0001F62C"}, {"relieved", u"\U0001F60C"}, {"pensive", u"\U0001F614"},
    {"sleeping", u"\U0001F634"}, {"mask", u"\U0001F637"}, {"confused", u"\U0001F615"},
    {"worried", u"\U0001F61F"}, {"open_mouth", u"\U0001F62E"}, {"astonished", u"\U0001F632"},
    {"flushed", u"\U0001F633"}, {"scream", u"\U0001F631"}, {"fearful", u"\U0001F628"}, {"cry", u"\U0001F622"},
    {"sob", u"\U0001F62D"}, {"sweat", u"\U0001F613"}, {"weary", u"\U0001F629"}, {"tired_face", u"\U0001F62B"},
    {"triumph", u"\U0001F624"}, {"rage", u"\U0001F621"}, {"angry", u"\U0001F620"},
    {"smiling_imp", u"\U0001F608"}, {"skull", u"\U0001F480"}, {"ghost", u"\U0001F47B"},
    {"alien", u"\U0001F47D"}, {"robot", u"\U0001F916"}, {"poop", u"\U0001F4A9"}, {"hankey", u"\U0001F4A9"},
    {"clown_face", u"\U0001F921"}, {"see_no_evil", u"\U0001F648"}, {"hear_no_evil", u"\U0001F649"},
    {"speak_no_evil", u"\U0001F64A"}, {"+1", u"\U0001F44D"}, {"thumbsup", u"\U0001F44D"},
    {"-1", u"\U0001F44E"}, {"thumbsdown", u"\U0001F44E"}, {"ok_hand", u"\U0001F44C"}, {"wave", u"\U0001F44B"},
    {"clap", u"\U0001F44F"}, {"raised_hands", u"\U0001F64C"}, {"pray", u"\U0001F64F"},
    {"handshake", u"\U0001F91D"}, {"punch", u"\U0001F44A"}, {"fist", u"\u270A"}, {"v", u"\u270C\uFE0F"},
    {"crossed_fingers", u"\U0001F91E"}, {"muscle", u"\U0001F4AA"}, {"point_up", u"\u261D\uFE0F"},
    {"point_down", u"\U0001F447"}, {"point_left", u"\U0001F448"}, {"point_right", u"\U0001F449"},
    {"writing_hand", u"\u270D\uFE0F"}, {"eyes", u"\U0001F440"}, {"eye", u"\U0001F441\uFE0F"},
    {"brain", u"\U0001F9E0"}, {"heart", u"\u2764\uFE0F"}, {"orange_heart", u"\U0001F9E1"},
    {"yellow_heart", u"\U0001F49B"}, {"green_heart", u"\U0001F49A"}, {"blue_heart", u"\U0001F499"},
    {"purple_heart", u"\U0001F49C"}, {"black_heart", u"\U0001F5A4"}, {"broken_heart", u"\U0001F494"},
    {"two_hearts", u"\U0001F495"}, {"sparkling_heart", u"\U0001F496"}, {"heartpulse", u"\U0001F497"},
    {"cupid", u"\U0001F498"}, {"100", u"\U0001F4AF"}, {"boom", u"\U0001F4A5"}, {"star", u"\u2B50"},
    {"star2", u"\U0001F31F"}, {"dizzy", u"\U0001F4AB"}, {"zap", u"\u26A1"}, {"sunny", u"\u2600\uFE0F"},
    {"cloud", u"\u2601\uFE0F"}, {"snowflake", u"\u2744\uFE0F"}, {"umbrella", u"\u2614"},
    {"white_check_mark", u"\u2705"}, {"heavy_check_mark", u"\u2714\uFE0F"},
    {"ballot_box_with_check", u"\u2611\uFE0F"}, {"x", u"\u274C"}, {"negative_squared_cross_mark", u"\u274E"},
    {"warning", u"\u26A0\uFE0F"}, {"no_entry", u"\u26D4"}, {"no_entry_sign", u"\U0001F6AB"},
    {"question", u"\u2753"}, {"grey_question", u"\u2754"}, {"exclamation", u"\u2757"},
    {"bangbang", u"\u203C\uFE0F"}, {"heavy_plus_sign", u"\u2795"}, {"heavy_minus_sign", u"\u2796"},
    {"heavy_multiplication_x", u"\u2716\uFE0F"}, {"heavy_division_sign", u"\u2797"},
    {"arrow_right", u"\u27A1\uFE0F"}, {"arrow_left", u"\u2B05\uFE0F"}, {"arrow_up", u"\u2B06\uFE0F"},
    {"arrow_down", u"\u2B07\uFE0F"}, {"recycle", u"\u267B\uFE0F"}, {"red_circle", u"\U0001F534"},
    {"large_blue_circle", u"\U0001F535"}, {"small_orange_diamond", u"\U0001F538"},
    {"checkered_flag", u"\U0001F3C1"}, {"bulb", u"\U0001F4A1"}, {"wrench", u"\U0001F527"},
    {"hammer", u"\U0001F528"}, {"hammer_and_wrench", u"\U0001F6E0\uFE0F"}, {"gear", u"\u2699\uFE0F"},
    {"nut_and_bolt", u"\U0001F529"}, {"computer", u"\U0001F4BB"}, {"desktop_computer", u"\U0001F5A5\uFE0F"},
    {"keyboard", u"\u2328\uFE0F"}, {"iphone", u"\U0001F4F1"}, {"floppy_disk", u"\U0001F4BE"},
    {"printer", u"\U0001F5A8\uFE0F"}, {"electric_plug", u"\U0001F50C"}, {"battery", u"\U0001F50B"},
    {"flashlight", u"\U0001F526"}, {"mag", u"\U0001F50D"}, {"mag_right", u"\U0001F50E"},
    {"lock", u"\U0001F512"}, {"unlock", u"\U0001F513"}, {"key", u"\U0001F511"}, {"link", u"\U0001F517"},
    {"paperclip", u"\U0001F4CE"}, {"pushpin", u"\U0001F4CC"}, {"round_pushpin", u"\U0001F4CD"},
    {"scissors", u"\u2702\uFE0F"}, {"pencil2", u"\u270F\uFE0F"}, {"memo", u"\U0001F4DD"},
    {"page_facing_up", u"\U0001F4C4"}, {"clipboard", u"\U0001F4CB"}, {"calendar", u"\U0001F4C5"},
    {"file_folder", u"\U0001F4C1"}, {"open_file_folder", u"\U0001F4C2"}, {"books", u"\U0001F4DA"},
    {"book", u"\U0001F4D6"}, {"bookmark", u"\U0001F516"}, {"newspaper", u"\U0001F4F0"},
    {"bar_chart", u"\U0001F4CA"}, {"chart_with_upwards_trend", u"\U0001F4C8"},
    {"chart_with_downwards_trend", u"\U0001F4C9"}, {"email", u"\u2709\uFE0F"}, {"envelope", u"\u2709\uFE0F"},
    {"inbox_tray", u"\U0001F4E5"}, {"outbox_tray", u"\U0001F4E4"}, {"package", u"\U0001F4E6"},
    {"label", u"\U0001F3F7\uFE0F"}, {"telephone", u"\u260E\uFE0F"}, {"bell", u"\U0001F514"},
    {"no_bell", u"\U0001F515"}, {"loudspeaker", u"\U0001F4E2"}, {"mega", u"\U0001F4E3"},
    {"microphone", u"\U0001F3A4"}, {"headphones", u"\U0001F3A7"}, {"musical_note", u"\U0001F3B5"},
    {"notes", u"\U0001F3B6"}, {"camera", u"\U0001F4F7"}, {"tv", u"\U0001F4FA"},
    {"hourglass_flowing_sand", u"\u23F3"}, {"watch", u"\u231A"}, {"alarm_clock", u"\u23F0"},
    {"stopwatch", u"\u23F1\uFE0F"}, {"construction", u"\U0001F6A7"}, {"rotating_light", u"\U0001F6A8"},
    {"coffee", u"\u2615"}, {"tea", u"\U0001F375"}, {"beer", u"\U0001F37A"}, {"beers", u"\U0001F37B"},
    {"wine_glass", u"\U0001F377"}, {"cocktail", u"\U0001F378"}, {"pizza", u"\U0001F355"},
    {"hamburger", u"\U0001F354"}, {"fries", u"\U0001F35F"}, {"popcorn", u"\U0001F37F"},
    {"doughnut", u"\U0001F369"}, {"cookie", u"\U0001F36A"}, {"cake", u"\U0001F370"},
    {"birthday", u"\U0001F382"}, {"apple", u"\U0001F34E"}, {"green_apple", u"\U0001F34F"},
    {"banana", u"\U0001F34C"}, {"strawberry", u"\U0001F353"}, {"trophy", u"\U0001F3C6"},
    {"medal", u"\U0001F3C5"}, {"first_place_medal", u"\U0001F947"}, {"crown", u"\U0001F451"},
    {"gift", u"\U0001F381"}, {"balloon", u"\U0001F388"}, {"sparkler", u"\U0001F387"}, {"art", u"\U0001F3A8"},
    {"dart", u"\U0001F3AF"}, {"tada", u"\U0001F389"}, {"confetti_ball", u"\U0001F38A"}, {"dog", u"\U0001F436"},
    {"cat", u"\U0001F431"}, {"mouse", u"\U0001F42D"}, {"rabbit", u"\U0001F430"}, {"fox_face", u"\U0001F98A"},
    {"bear", u"\U0001F43B"}, {"panda_face", u"\U0001F43C"}, {"koala", u"\U0001F428"}, {"tiger", u"\U0001F42F"},
    {"lion", u"\U0001F981"}, {"cow", u"\U0001F42E"}, {"pig", u"\U0001F437"}, {"frog", u"\U0001F438"},
    {"monkey_face", u"\U0001F435"}, {"penguin", u"\U0001F427"}, {"bird", u"\U0001F426"},
    {"owl", u"\U0001F989"}, {"bee", u"\U0001F41D"}, {"butterfly", u"\U0001F98B"}, {"turtle", u"\U0001F422"},
    {"whale", u"\U0001F433"}, {"dolphin", u"\U0001F42C"}, {"fish", u"\U0001F41F"}, {"octopus", u"\U0001F419"},
    {"unicorn", u"\U0001F984"}, {"car", u"\U0001F697"}, {"bus", u"\U0001F68C"}, {"train", u"\U0001F686"},
    {"airplane", u"\u2708\uFE0F"}, {"ship", u"\U0001F6A2"}, {"bike", u"\U0001F6B2"}, {"house", u"\U0001F3E0"},
    {"office", u"\U0001F3E2"}, {"school", u"\U0001F3EB"}, {"factory", u"\U0001F3ED"},
    {"earth_africa", u"\U0001F30D"}, {"earth_americas", u"\U0001F30E"}, {"earth_asia", u"\U0001F30F"},
    {"moon", u"\U0001F319"}, {"rainbow", u"\U0001F308"}, {"ocean", u"\U0001F30A"},
    {"evergreen_tree", u"\U0001F332"}, {"seedling", u"\U0001F331"}, {"four_leaf_clover", u"\U0001F340"},
    {"cherry_blossom", u"\U0001F338"}, {"sunflower", u"\U0001F33B"},
};

constexpr const char* kPopular[] = {
    "+1", "-1", "smile", "tada", "rocket", "eyes", "heart", "fire", "sparkles", "bug", "warning",
    "white_check_mark", "x", "100", "thinking", "pray", "clap", "joy", "wave", "bulb", "memo", "zap",
};

// Scalars below this carry the Emoji property only as keycap bases or text symbols ("#", "*", digits, (c), (R)).
constexpr char32_t kLowestEmoji = 0x203C;

// The scalar values searched for named emoji.
constexpr std::pair<char32_t, char32_t> kScanRanges[] = {{0x203C, 0x3299}, {0x1F000, 0x1FAFF}};

U16String ascii(const char* text)
{
    return U16String(text, text + std::char_traits<char>::length(text));
}

bool isEmoji(char32_t c)
{
    return u_hasBinaryProperty(UChar32(c), UCHAR_EMOJI);
}

// One scalar, or nothing when the text is empty or holds more than one.
std::optional<char32_t> singleScalar(U16View text)
{
    if (text.empty() || codePointLength(text, 0) != int(text.size()))
        return std::nullopt;
    return codePointAt(text, 0);
}

// The character a Unicode name spells. This is the look-up ICU's "Name-Any"
// transform makes for a "\N{...}" escape (extended names, spaces already single),
// without building the transform, which costs more than a thousand look-ups.
std::optional<U16String> transformName(const U16String& upperName)
{
    std::string ascii;
    ascii.reserve(upperName.size());
    for (char16_t c : upperName) {
        if (c >= 0x80)
            return std::nullopt;
        // Like the transform, runs of spaces count as one and outer ones as none.
        if (c == u' ' && (ascii.empty() || ascii.back() == ' '))
            continue;
        ascii.push_back(char(c));
    }
    while (!ascii.empty() && ascii.back() == ' ')
        ascii.pop_back();
    UErrorCode status = U_ZERO_ERROR;
    const UChar32 c = u_charFromName(U_EXTENDED_CHAR_NAME, ascii.c_str(), &status);
    if (U_FAILURE(status) || c < 0)
        return std::nullopt;
    return fromCodePoint(char32_t(c));
}

std::optional<U16String> lookUpUnicodeName(U16View name)
{
    U16String spaced(name);
    std::replace(spaced.begin(), spaced.end(), u'_', u' ');
    const U16String upper = TextOps::uppercased(spaced);
    if (upper.empty())
        return std::nullopt;
    for (int i = 0; i < int(upper.size());) {
        const char32_t c = codePointAt(upper, i);
        if (!(CharacterClass::isAlphanumeric(c) || c == U' ' || c == U'-'))
            return std::nullopt;
        i += codePointLength(upper, i);
    }
    const std::optional<U16String> result = transformName(upper);
    if (!result || TextOps::hasPrefix(*result, u"\\N"))
        return std::nullopt;
    const std::optional<char32_t> scalar = singleScalar(*result);
    if (!scalar || !isEmoji(*scalar) || *scalar < kLowestEmoji)
        return std::nullopt;
    return *result;
}

// The Unicode character name of a scalar as a shortcode name ("face_with_tears_of_joy"), or "".
U16String shortcodeName(char32_t c)
{
    char buffer[256];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_charName(UChar32(c), U_UNICODE_CHAR_NAME, buffer, sizeof buffer, &status);
    if (U_FAILURE(status) || length <= 0 || length >= int32_t(sizeof buffer))
        return {};
    U16String name;
    name.reserve(size_t(length));
    for (int32_t i = 0; i < length; ++i) {
        const char ch = buffer[i];
        name.push_back(ch == ' ' ? u'_' : CharacterClass::asciiLower(char16_t(static_cast<unsigned char>(ch))));
    }
    return name;
}

const Candidate* candidateNamed(U16View name)
{
    const std::vector<Candidate>& all = allCandidates();
    auto it = std::lower_bound(all.begin(), all.end(), name,
                               [](const Candidate& c, U16View n) { return U16View(c.name) < n; });
    return it != all.end() && it->name == name ? &*it : nullptr;
}

} // namespace

const std::unordered_map<U16String, U16String>& aliases()
{
    static const std::unordered_map<U16String, U16String> table = [] {
        std::unordered_map<U16String, U16String> t;
        t.reserve(std::size(kAliases));
        for (const AliasPair& pair : kAliases)
            t.emplace(ascii(pair.name), U16String(pair.emoji));
        return t;
    }();
    return table;
}

const std::vector<U16String>& popular()
{
    static const std::vector<U16String> names = [] {
        std::vector<U16String> n;
        for (const char* name : kPopular)
            n.push_back(ascii(name));
        return n;
    }();
    return names;
}

const std::vector<Candidate>& allCandidates()
{
    static const std::vector<Candidate> list = [] {
        std::vector<Candidate> out;
        std::unordered_set<U16String> taken;
        for (const AliasPair& pair : kAliases) {
            taken.insert(ascii(pair.name));
            out.push_back({ascii(pair.name), U16String(pair.emoji)});
        }
        for (const auto& [first, last] : kScanRanges) {
            for (char32_t c = first; c <= last; ++c) {
                if (c < kLowestEmoji || !isEmoji(c))
                    continue;
                U16String name = shortcodeName(c);
                // A name longer than a shortcode may be could never be typed back: not offered.
                if (name.empty() || int(name.size()) > maxNameLength || !taken.insert(name).second)
                    continue;
                out.push_back({std::move(name), emojiPresentation(fromCodePoint(c))});
            }
        }
        std::sort(out.begin(), out.end(), [](const Candidate& a, const Candidate& b) { return a.name < b.name; });
        return out;
    }();
    return list;
}

std::optional<U16String> unicodeNamed(U16View name)
{
    // ICU's name lookup is slow; the answer for a name never changes.
    static std::mutex lock;
    static std::map<U16String, std::optional<U16String>, std::less<>> memo;
    {
        std::lock_guard<std::mutex> guard(lock);
        auto it = memo.find(name);
        if (it != memo.end())
            return it->second;
    }
    std::optional<U16String> result = lookUpUnicodeName(name);
    std::lock_guard<std::mutex> guard(lock);
    if (memo.size() >= 100000)
        memo.clear();
    memo.emplace(U16String(name), result);
    return result;
}

U16String emojiPresentation(U16View emoji)
{
    const std::optional<char32_t> scalar = singleScalar(emoji);
    if (scalar && isEmoji(*scalar) && !u_hasBinaryProperty(UChar32(*scalar), UCHAR_EMOJI_PRESENTATION))
        return U16String(emoji) + u"\uFE0F";
    return U16String(emoji);
}

std::optional<U16String> emoji(U16View name)
{
    const U16String lower = TextOps::lowercased(name);
    const auto& table = aliases();
    if (auto it = table.find(lower); it != table.end())
        return emojiPresentation(it->second);
    if (std::optional<U16String> named = unicodeNamed(lower))
        return emojiPresentation(*named);
    return std::nullopt;
}

std::vector<Candidate> candidates(U16View query, int limit)
{
    const U16String q = TextOps::lowercased(query);
    std::vector<Candidate> out;
    if (q.empty()) {
        for (const U16String& name : popular())
            if (const Candidate* c = candidateNamed(name))
                out.push_back(*c);
        return out;
    }
    const std::vector<U16String>& favourites = popular();
    struct Ranked {
        int match, popularity;
        size_t length;
        const Candidate* candidate;
    };
    std::vector<Ranked> ranked;
    for (const Candidate& c : allCandidates()) {
        const size_t at = c.name.find(q);
        if (at == U16String::npos)
            continue;
        const bool isPopular = std::find(favourites.begin(), favourites.end(), c.name) != favourites.end();
        ranked.push_back({at == 0 ? 0 : 1, isPopular ? 0 : 1, c.name.size(), &c});
    }
    const size_t count = std::min(ranked.size(), size_t(std::max(limit, 0)));
    auto key = [](const Ranked& r) { return std::tie(r.match, r.popularity, r.length, r.candidate->name); };
    std::partial_sort(ranked.begin(), ranked.begin() + ptrdiff_t(count), ranked.end(),
                      [&](const Ranked& a, const Ranked& b) { return key(a) < key(b); });
    out.reserve(count);
    for (size_t i = 0; i < count; ++i)
        out.push_back(*ranked[i].candidate);
    return out;
}

} // namespace velkin::EmojiShortcode
