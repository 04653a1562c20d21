#pragma once
// Where a link on a help page leads: another page, a place on this page, or outside.
#include "platform/text/Range.h"

#include <optional>

namespace velkin {

class HelpBook;

struct HelpLink {
    enum class Kind {
        None,      // leads nowhere; following it does nothing
        Page,      // a page of the book, by id, with an optional anchor
        Anchor,    // a place in the page being shown
        External,  // an address opened outside the help window
    };

    Kind kind = Kind::None;
    U16String pageID;                 // Page
    std::optional<U16String> anchor;  // Page (optional) and Anchor (always)
    U16String url;                    // External: the address as written, trimmed

    bool operator==(const HelpLink&) const = default;

    static HelpLink none() { return {}; }
    static HelpLink page(U16String id, std::optional<U16String> anchor = std::nullopt)
    {
        return {Kind::Page, std::move(id), std::move(anchor), {}};
    }
    static HelpLink anchorLink(U16String anchor) { return {Kind::Anchor, {}, std::move(anchor), {}}; }
    static HelpLink external(U16String url) { return {Kind::External, {}, std::nullopt, std::move(url)}; }

    // The page id a target names: a bare file name ending in ".md" (any case), with no
    // "/" or ":"; "Tables.MD" gives "Tables". Nothing otherwise.
    static std::optional<U16String> pageIDForTarget(U16View target);
    // Classifies a link target as written in a page, or as the full address of a link.
    static HelpLink destination(U16View target, const HelpBook& book);
};

} // namespace velkin
