#include "editor/MarkdownEditing.h"
#include "selftest/CheckUtilities.h"
#include "selftest/SelfTestContext.h"

namespace velkin {

void group32InlineHTML(SelfTestContext& t)
{
    // Tag wrapping.
    using MarkdownEditing::tagWrap;
    using MarkdownEditing::underline;
    t.check("superscript wraps the selection", applyEdit(u"2", tagWrap(u"2", {0, 1}, u"sup")) == u"<sup>2</sup>");
    t.check("subscript on an empty selection inserts the pair",
            applyEdit(u"", tagWrap(u"", {0, 0}, u"sub")) == u"<sub></sub>");
    t.check("and leaves the caret between the tags", tagWrap(u"", {0, 0}, u"sub").selection == Range{5, 0});
    t.check("a second superscript unwraps the selected tags",
            applyEdit(u"<sup>2</sup>", tagWrap(u"<sup>2</sup>", {0, 12}, u"sup")) == u"2");
    t.check("unwrapping works from inside the tags too",
            applyEdit(u"<sup>2</sup>", tagWrap(u"<sup>2</sup>", {5, 1}, u"sup")) == u"2");
    t.check("underline writes `<u>`", applyEdit(u"word", underline(u"word", {0, 4})) == u"<u>word</u>");
    t.check("underline also undoes an `<ins>` wrap",
            applyEdit(u"<ins>word</ins>", underline(u"<ins>word</ins>", {5, 4})) == u"word");
}

void group33LinkTitles(SelfTestContext& t)
{
    (void)t;
}

void group34Containers(SelfTestContext& t)
{
    (void)t;
}

} // namespace velkin
