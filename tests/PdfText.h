#pragma once
// Reading an exported PDF back as text, as a reader would copy it.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace velkin::testing {

// The text pdftotext reads from a PDF, or nothing when the tool is missing;
// with `boxes`, its pages and words with their boxes (pdftotext -bbox); with
// `layout`, its lines as they stand across the page (pdftotext -layout).
inline std::optional<std::string> pdfText(const std::filesystem::path& pdf, bool boxes = false, bool layout = false)
{
    const std::string command = std::string("pdftotext -q ") + (boxes ? "-bbox " : "") + (layout ? "-layout " : "")
                                + "'" + pdf.string() + "' - 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return std::nullopt;
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    if (pclose(pipe) != 0)
        return std::nullopt;
    return out;
}

} // namespace velkin::testing
