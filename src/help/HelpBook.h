#pragma once
// The help book: the Markdown pages of the Help/ folder and its contents page.
//
// index.md is the contents page: "## " lines open titled sections and lines
// such as "- [Tables](tables.md) – Pipe tables" are their entries.
#include "help/HelpPage.h"

#include <filesystem>
#include <map>
#include <optional>
#include <vector>

namespace velkin {

// One line of the contents page.
struct HelpEntry {
    U16String pageID;   // need not name a loaded page
    U16String title;    // the link text as written
    U16String summary;  // the text after the separator, or ""

    bool operator==(const HelpEntry&) const = default;
};

struct HelpSection {
    U16String title;  // "" for entries before the first "## " line
    std::vector<HelpEntry> entries;  // never empty

    bool operator==(const HelpSection&) const = default;
};

class HelpBook {
public:
    std::map<U16String, HelpPage, std::less<>> pages;  // by page id
    std::vector<HelpSection> sections;
    std::optional<std::filesystem::path> baseURL;  // the help folder

    // Keys the pages by id (the first of two with the same id wins) and parses the
    // sections from the page "index", if there is one.
    HelpBook(std::vector<HelpPage> pageList, std::optional<std::filesystem::path> base);

    // Finds the help folder and loads it; nothing when there is no folder or no page reads.
    static std::optional<HelpBook> load();
    // Loads the pages of one folder: every "*.md" file (extension in any case) that
    // reads as UTF-8, in file-name order; nothing when none does.
    static std::optional<HelpBook> load(const std::filesystem::path& directory);
    // The help folder: Help/ in the installed data folder, then in the working
    // directory, then in the source tree; nothing when none is a folder.
    static std::optional<std::filesystem::path> directoryURL();

    // Parses a contents page into its sections.
    static std::vector<HelpSection> sectionsFromIndex(U16View markdown);

    const HelpPage* page(U16View id) const;
    // The page id of every entry, section by section, repeats kept.
    std::vector<U16String> listedPageIDs() const;
    // "index", then the listed pages that exist in contents order, then the rest by id.
    std::vector<U16String> readingOrder() const;
};

} // namespace velkin
