#pragma once
// What a link target written in a document is: an address, and what a click on it does.
#include "platform/text/Range.h"
#include "platform/url/Url.h"

#include <optional>
#include <vector>

namespace velkin::LinkRouter {

struct Action {
    enum Kind { openDocument, openInBrowser, none };
    Kind kind = none;
    std::optional<Url> url;

    static Action makeOpenDocument(const Url& url) { return {openDocument, url}; }
    static Action makeOpenInBrowser(const Url& url) { return {openInBrowser, url}; }
    static Action makeNone() { return {}; }
    // Two actions are equal when they are the same case with equal addresses.
    bool operator==(const Action& other) const = default;
};

// The path extensions of documents the program opens itself.
const std::vector<std::string>& markdownExtensions();

// A target with a scheme stays as it is; anything else is percent-encoded as a
// path and resolved against the base address (a document's or a rendering's).
std::optional<Url> resolve(U16View target, const std::optional<Url>& base);

// A picture's address: resolve() of the target as written, unless that names
// a local file that does not exist and the target percent-decoded names one
// ("pic%20two.jpg" beside "pic two.jpg"; a file really named "pic%20two.jpg" still wins).
std::optional<Url> resolvePicture(U16View target, const std::optional<Url>& base);

// Trims the target; an empty target or an anchor within the document does
// nothing; a Markdown document opens in the program; anything else in the browser.
// A relative target is looked up as resolvePicture() does, and what follows a "#"
// in it is a fragment, unless a file is named with the "#" ("b.md#x" opens b.md).
Action action(U16View target, const std::optional<Url>& base);

} // namespace velkin::LinkRouter
