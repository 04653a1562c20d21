#include "help/HelpBook.h"

#include "platform/FileRead.h"

#include "help/HelpLink.h"
#include "platform/DataPaths.h"
#include "platform/regex/Regex.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

namespace velkin {

namespace fs = std::filesystem;

namespace {

const Regex& entryPattern()
{
    static const Regex pattern(u"^\\s*[-*]\\s+\\[([^\\]]+)\\]\\(([^)\\s]+)\\)\\s*(?:[-\u2013:]\\s*(.*))?$");
    return pattern;
}

// The text of a file when it is a regular file that reads whole as UTF-8.
std::optional<U16String> readPage(const fs::path& path)
{
    auto text = FileRead::utf8Text(path);
    // A byte-order mark would hide the title line.
    if (text && !text->empty() && (*text)[0] == u'\uFEFF')
        text->erase(0, 1);
    return text;
}

// The page id of a file name ending in ".md" in any case, or nothing.
std::optional<U16String> pageIDForFileName(const std::string& name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return std::nullopt;
    std::string extension = name.substr(dot + 1);
    for (char& c : extension)
        c = char(CharacterClass::asciiLower(char16_t(static_cast<unsigned char>(c))));
    if (extension != "md")
        return std::nullopt;
    return u16(name.substr(0, dot));
}

} // namespace

HelpBook::HelpBook(std::vector<HelpPage> pageList, std::optional<fs::path> base)
    : baseURL(std::move(base))
{
    for (HelpPage& page : pageList) {
        U16String id = page.id;
        pages.try_emplace(std::move(id), std::move(page));
    }
    const HelpPage* index = page(u"index");
    sections = sectionsFromIndex(index ? U16View(index->markdown) : U16View());
}

std::optional<fs::path> HelpBook::directoryURL()
{
    return DataPaths::findFolder("Help", DataPaths::Order::workingDirectoryFirst);
}

std::optional<HelpBook> HelpBook::load()
{
    const auto directory = directoryURL();
    if (!directory)
        return std::nullopt;
    return load(*directory);
}

std::optional<HelpBook> HelpBook::load(const fs::path& directory)
{
    std::error_code ec;
    const fs::path base = fs::absolute(directory, ec);
    std::vector<std::pair<std::string, U16String>> candidates;  // file name, page id
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (auto id = pageIDForFileName(name))
            candidates.emplace_back(name, std::move(*id));
    }
    std::sort(candidates.begin(), candidates.end());

    std::vector<HelpPage> pageList;
    for (auto& [name, id] : candidates) {
        auto text = readPage(directory / name);
        if (!text)
            continue;
        pageList.push_back(HelpPage::make(std::move(id), std::move(*text)));
    }
    if (pageList.empty())
        return std::nullopt;
    return HelpBook(std::move(pageList), base.empty() ? directory : base);
}

std::vector<HelpSection> HelpBook::sectionsFromIndex(U16View markdown)
{
    std::vector<HelpSection> result;
    HelpSection current;
    bool fenced = false;
    for (U16View line : HelpPage::lines(markdown)) {
        const U16View t = trimmed(line, TrimSet::AsciiBlanks);
        if (TextOps::hasPrefix(t, u"```") || TextOps::hasPrefix(t, u"~~~")) {
            fenced = !fenced;
            continue;
        }
        if (fenced)
            continue;
        if (TextOps::hasPrefix(t, u"## ")) {
            if (!current.entries.empty())
                result.push_back(std::move(current));
            current = HelpSection{U16String(trimmed(t.substr(3), TrimSet::AsciiBlanks)), {}};
            continue;
        }
        const auto match = entryPattern().firstMatch(line);
        if (!match || match->range().location != 0 || match->range().length != int(line.size()))
            continue;
        const auto id = HelpLink::pageIDForTarget(match->text(line, 2));
        if (!id)
            continue;
        HelpEntry entry;
        entry.pageID = *id;
        entry.title = U16String(match->text(line, 1));
        if (match->has(3))
            entry.summary = U16String(trimmed(match->text(line, 3), TrimSet::AsciiBlanks));
        current.entries.push_back(std::move(entry));
    }
    if (!current.entries.empty())
        result.push_back(std::move(current));
    return result;
}

const HelpPage* HelpBook::page(U16View id) const
{
    const auto it = pages.find(id);
    return it == pages.end() ? nullptr : &it->second;
}

std::vector<U16String> HelpBook::listedPageIDs() const
{
    std::vector<U16String> ids;
    for (const HelpSection& section : sections)
        for (const HelpEntry& entry : section.entries)
            ids.push_back(entry.pageID);
    return ids;
}

std::vector<U16String> HelpBook::readingOrder() const
{
    std::vector<U16String> order{u"index"};
    std::set<U16String, std::less<>> seen{u"index"};
    for (const U16String& id : listedPageIDs()) {
        if (seen.count(id) || !page(id))
            continue;
        order.push_back(id);
        seen.insert(id);
    }
    // The map is ordered by code unit, which for page ids is code point order
    // except between surrogates and U+E000..U+FFFF; sort the rest by code point.
    std::vector<U16String> rest;
    for (const auto& [id, page] : pages)
        if (!seen.count(id))
            rest.push_back(id);
    std::sort(rest.begin(), rest.end(), [](const U16String& a, const U16String& b) { return u8(a) < u8(b); });
    order.insert(order.end(), rest.begin(), rest.end());
    return order;
}

} // namespace velkin
