#include "document/PreviewRenderer.h"

#include "document/ImageCache.h"
#include "markdown/ImageBlock.h"
#include "markdown/EmojiShortcode.h"
#include "markdown/TableGrid.h"
#include "markdown/TaskList.h"
#include "platform/text/Utf.h"

namespace velkin::PreviewRenderer {

void collapseAllImages(TextStorage& storage, const std::optional<Url>& base, double available, const ProseLines* lines)
{
    if (!lines && storage.string().find(u"![") == U16String::npos)
        return;
    const ProseLines own = lines ? ProseLines(U16View()) : ProseLines(storage);
    // Every picture is loaded first, the downloads side by side within one budget.
    std::vector<U16String> sources;
    ImageBlock::enumerateImageLines(lines ? *lines : own, [&](Range, Range, const U16String&, const U16String& url) {
        sources.push_back(url);
    });
    ImageCache::loadAllSynchronously(sources, base);
    storage.beginEditing();
    ImageBlock::enumerateImageLines(lines ? *lines : own, [&](Range line, Range enclosing, const U16String& alt, const U16String& url) {
        const std::optional<std::string> key = ImageCache::key(url, base);
        if (!key)
            return;
        double width = available;
        if (const TextTableBlock* cell = TableGrid::cellBlock(storage, line.location))
            width = TableGrid::cellContentWidth(*cell, available);
        const QSizeF size = ImageBlock::displaySize(ImageCache::shownSize(*key), width);
        if (line.length == 0 || enclosing.end() > storage.length())
            return;
        ImageBlock::collapseLine(storage, line, enclosing, *key, alt, size.height());
    });
    storage.endEditing();
}

void collapseAllTasks(TextStorage& storage, double size, const ProseLines* lines)
{
    if (!lines && storage.string().find(u'[') == U16String::npos)
        return;
    const ProseLines own = lines ? ProseLines(U16View()) : ProseLines(storage);
    storage.beginEditing();
    TaskList::enumerateTaskLines(lines ? *lines : own, [&](Range, Range, const TaskList::Item& item) {
        TaskList::collapse(storage, item.hiddenLeader, item.box, item.checked, size);
    });
    storage.endEditing();
}

void collapseAllShortcodes(TextStorage& storage, const ProseLines* lines)
{
    if (!lines && storage.string().find(u':') == U16String::npos)
        return;
    const ProseLines own = lines ? ProseLines(U16View()) : ProseLines(storage);
    storage.beginEditing();
    EmojiShortcode::enumerateShortcodes(lines ? *lines : own, [&](Range range, const U16String& emoji) {
        if (storage.attribute(AttributeKey::CollapsedImage, range.location))
            return;  // part of a picture's hidden source
        EmojiShortcode::collapse(storage, range, emoji);
    });
    storage.endEditing();
}

} // namespace velkin::PreviewRenderer
