// The layout after whole-text restyles: attribute changes alone can turn
// paragraphs into table cells and back, and must be seen without a character edit.
#include "platform/layout/LayoutManager.h"

#include <gtest/gtest.h>

namespace velkin {
namespace {

Attributes plain()
{
    return Attributes{{AttributeKey::Font, Font::system(14)}};
}

// The cell attributes of a two-column table for paragraph i.
Attributes cell(const std::shared_ptr<TextTable>& table, int i)
{
    auto block = std::make_shared<TextTableBlock>(table, i / 2, 1, i % 2, 1);
    auto style = std::make_shared<ParagraphStyle>();
    style->textBlocks.push_back(block);
    return Attributes{{AttributeKey::Font, Font::system(14)}, {AttributeKey::ParagraphStyle, ParagraphStylePtr(style)}};
}

TEST(LayoutRestyle, ParagraphsBecomeCellsAndBackByAttributesAlone)
{
    TextStorage s(U16String(u"a\nb\nc\nd\nafter"), plain());
    LayoutManager lm(&s);
    lm.setTextContainer({300, 1e9, 5});
    lm.ensureLayout();
    EXPECT_GT(lm.lineFragmentRect(2).top(), lm.lineFragmentRect(0).bottom() - 0.01);

    auto table = std::make_shared<TextTable>();
    table->numberOfColumns = 2;
    s.beginEditing();
    s.setAttributes(plain(), {0, s.length()});
    for (int i = 0; i < 4; ++i)
        s.setAttributes(cell(table, i), {2 * i, 2});
    s.endEditing();
    EXPECT_NEAR(lm.lineFragmentRect(0).top(), lm.lineFragmentRect(2).top(), 0.01);  // one row
    EXPECT_GT(lm.lineFragmentRect(2).left(), lm.lineFragmentRect(0).left() + 100);

    // Restyled with the same cells: still a grid.
    s.beginEditing();
    s.setAttributes(plain(), {0, s.length()});
    for (int i = 0; i < 4; ++i)
        s.setAttributes(cell(table, i), {2 * i, 2});
    s.endEditing();
    EXPECT_NEAR(lm.lineFragmentRect(0).top(), lm.lineFragmentRect(2).top(), 0.01);

    // One paragraph leaves the table: it goes below the rest.
    s.setAttributes(plain(), {6, 2});
    EXPECT_GT(lm.lineFragmentRect(6).top(), lm.lineFragmentRect(4).bottom() - 0.01);

    s.setAttributes(plain(), {0, s.length()});
    EXPECT_GT(lm.lineFragmentRect(2).top(), lm.lineFragmentRect(0).bottom() - 0.01);
    EXPECT_NEAR(lm.lineFragmentRect(2).left(), lm.lineFragmentRect(0).left(), 0.01);
}

} // namespace
} // namespace velkin
