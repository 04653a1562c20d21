#pragma once
// The eight store screenshots: framed editor pages from the sample documents,
// enlarged on a blue gradient, 1280 x 800 pixels each.
#include "platform/text/Range.h"
#include "platform/url/Url.h"

#include <QImage>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velkin::AppStoreShot {

struct Shot {
    std::string file;                 // the sample's file name
    std::string subject;              // the word in the output file's name
    std::optional<std::string> from;  // the excerpt starts at the first line beginning with this
};

const std::vector<Shot>& shots();
// "01-styled-source.png" and so on.
std::string outputName(int number, const Shot& shot);
// The whole document, or the part from its first line that begins with `from`; nothing when no line does.
std::optional<U16String> excerpt(U16View document, const std::optional<U16String>& from);
// One screenshot in memory.
std::optional<QImage> canvas(U16View markdown, const std::string& title, const std::optional<Url>& baseURL);
bool renderPNG(U16View markdown, const std::string& title, const std::optional<Url>& baseURL,
               const std::filesystem::path& destination, std::string* error = nullptr);
// All eight into `output` (created when missing), reporting each on standard error; true only when all were written.
bool renderAll(const std::filesystem::path& samples, const std::filesystem::path& output);

} // namespace velkin::AppStoreShot
