#pragma once
// Reading an exported PDF back as text, as a reader would copy it, and the
// size its pictures are drawn at.
#include <QSizeF>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

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

// The size in points of every picture drawn on the PDF's pages, in the order
// drawn, as pdfimages lists them (their pixels over their resolution, which it
// gives in whole pixels per inch: within a point of the size drawn); nothing
// when the tool is missing.
inline std::optional<std::vector<QSizeF>> pdfPictureSizes(const std::filesystem::path& pdf)
{
    std::vector<QSizeF> sizes;
    FILE* pipe = popen(("pdfimages -list '" + pdf.string() + "' 2>/dev/null").c_str(), "r");
    if (!pipe)
        return std::nullopt;
    // page num type width height color comp bpc enc interp object ID x-ppi y-ppi size ratio
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        int page, number, width, height, xPpi, yPpi;
        if (std::sscanf(line, "%d %d image %d %d %*s %*s %*s %*s %*s %*s %*s %d %d", &page, &number, &width, &height,
                        &xPpi, &yPpi) == 6 && xPpi > 0 && yPpi > 0)
            sizes.emplace_back(width * 72.0 / xPpi, height * 72.0 / yPpi);
    }
    if (pclose(pipe) != 0)
        return std::nullopt;
    return sizes;
}

} // namespace velkin::testing
