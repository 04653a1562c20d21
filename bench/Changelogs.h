#pragma once
// Long real Markdown for the benchmarks: the nodejs changelogs (Debian package
// nodejs-doc) one after another.
#include <fstream>
#include <sstream>
#include <string>

namespace velkin::bench {

inline std::string readFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The changelogs, largest first, repeated until `bytes`; empty without them.
inline std::string changelogs(size_t bytes)
{
    static const char* const paths[] = {"/usr/share/doc/nodejs/changelogs/CHANGELOG_V12.md",
                                        "/usr/share/doc/nodejs/changelogs/CHANGELOG_V10.md",
                                        "/usr/share/doc/nodejs/changelogs/CHANGELOG_V11.md",
                                        "/usr/share/doc/nodejs/changelogs/CHANGELOG_IOJS.md"};
    std::string text;
    for (size_t round = 0; text.size() < bytes && round < 64; ++round)
        for (const char* path : paths) {
            if (text.size() >= bytes)
                break;
            const std::string part = readFile(path);
            if (part.empty())
                return text;
            text += part;
            text += "\n";
        }
    return text;
}

// Every changelog of the folder, sorted by name and joined with blank lines,
// repeated and cut at `bytes`: a mix of all the shapes they hold (tables,
// long link lists, old release notes); empty without them.
inline std::string allChangelogs(size_t bytes)
{
    static const char* const folder = "/usr/share/doc/nodejs/changelogs/";
    static const char* const names[] = {
        "CHANGELOG_ARCHIVE.md", "CHANGELOG_IOJS.md", "CHANGELOG_V010.md", "CHANGELOG_V012.md",
        "CHANGELOG_V10.md",     "CHANGELOG_V11.md",  "CHANGELOG_V12.md",  "CHANGELOG_V13.md",
        "CHANGELOG_V14.md",     "CHANGELOG_V15.md",  "CHANGELOG_V16.md",  "CHANGELOG_V17.md",
        "CHANGELOG_V18.md",     "CHANGELOG_V19.md",  "CHANGELOG_V20.md",  "CHANGELOG_V21.md",
        "CHANGELOG_V4.md",      "CHANGELOG_V5.md",   "CHANGELOG_V6.md",   "CHANGELOG_V7.md",
        "CHANGELOG_V8.md",      "CHANGELOG_V9.md"};
    std::string all;
    for (const char* name : names) {
        const std::string part = readFile((std::string(folder) + name).c_str());
        if (part.empty())
            continue;
        if (!all.empty())
            all += "\n\n";
        all += part;
    }
    if (all.empty())
        return all;
    std::string text;
    while (text.size() < bytes) {
        if (!text.empty())
            text += "\n\n";
        text += all;
    }
    text.resize(bytes);
    return text;
}

} // namespace velkin::bench
