#include "platform/richtext/ItemNumbers.h"

#include "platform/richtext/PixelLengths.h"

#include <QTextCursor>
#include <QTextLayout>
#include <QPaintDevice>
#include <QTextList>

#include <algorithm>
#include <vector>

namespace velkin::ItemNumbers {

int length(const QTextBlock& block)
{
    const QTextList* list = block.textList();
    if (!list || list->format().style() != QTextListFormat::ListStyleUndefined)
        return 0;
    // One marker or more, each followed by a blank: "12. ", or the bullet of
    // a list that opens a numbered item ("3. \u2022 ", "\u2022 ").
    const QString text = block.text();
    int end = 0;
    for (int k = 0;;) {
        if (k < text.size() && text[k] == QChar(0x2022)) {
            ++k;
        } else {
            const int digits = k;
            while (k < text.size() && text[k] >= u'0' && text[k] <= u'9')
                ++k;
            if (k == digits || k >= text.size() || text[k] != u'.')
                return end;
            ++k;
        }
        if (k == text.size())
            return k;
        if (text[k] != u' ')
            return end;
        end = ++k;
    }
}

void hang(QTextDocument& document, QPaintDevice* device)
{
    struct Item {
        QTextBlock block;
        int length;
    };
    std::vector<Item> items;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        if (const int n = length(block))
            items.push_back({block, n});
    if (items.empty())
        return;
    const double indentScale = PixelLengths::scale(device);
    QTextOption option = document.defaultTextOption();
    option.setUseDesignMetrics(document.useDesignMetrics());
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (const Item& item : items) {
        const QTextCharFormat characters = item.block.begin().fragment().charFormat();
        QTextLayout number(item.block.text().left(item.length), characters.font().resolve(document.defaultFont()), device);
        number.setTextOption(option);
        number.beginLayout();
        const QTextLine line = number.createLine();
        number.endLayout();
        const double width = line.isValid() ? line.cursorToX(item.length) : 0;
        QTextBlockFormat format = item.block.blockFormat();
        const double indentation = format.leftMargin()
                                   + (format.indent() + item.block.textList()->format().indent()) * document.indentWidth()
                                         * indentScale;
        format.setTextIndent(-std::min(width, std::max(0.0, indentation)));
        cursor.setPosition(item.block.position());
        cursor.setBlockFormat(format);
    }
    cursor.endEditBlock();
}

} // namespace velkin::ItemNumbers
