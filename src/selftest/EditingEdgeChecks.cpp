#include "editor/MarkdownEditing.h"
#include "selftest/CheckUtilities.h"
#include "selftest/SelfTestContext.h"

namespace velkin {

void group19MoreEditing(SelfTestContext& t)
{
    using namespace MarkdownEditing;
    t.check("bold unwraps when markers sit just outside the selection",
            applyEdit(u"**hi**", wrap(u"**hi**", {2, 2}, u"**")) == u"hi");
    t.check("inline code wraps the selection", applyEdit(u"x", wrap(u"x", {0, 1}, u"`")) == u"`x`");
    t.check("heading applies across a multi-line selection",
            applyEdit(u"a\nb", heading(u"a\nb", {0, 3}, 1)) == u"# a\n# b");
    t.check("rule at document start needs no leading blank line",
            applyEdit(u"", horizontalRule(u"", {0, 0})) == u"---\n");
    t.check("link keeps the selected text as its label", applyEdit(u"go", link(u"go", {0, 2})) == u"[go](url)");
}

void group20EdgeCases(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
