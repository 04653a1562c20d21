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

} // namespace velkin::bench
