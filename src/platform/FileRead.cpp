#include "platform/FileRead.h"

#include "platform/text/Utf.h"

#include <fstream>
#include <sstream>

namespace velkin::FileRead {

std::optional<std::string> bytes(const std::filesystem::path& path, long long maxBytes)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return std::nullopt;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || static_cast<long long>(size) > maxBytes)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream contents;
    contents << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return contents.str();
}

std::optional<U16String> utf8Text(const std::filesystem::path& path)
{
    const auto data = bytes(path);
    if (!data)
        return std::nullopt;
    return decodeUtf8Strict(*data);
}

} // namespace velkin::FileRead
