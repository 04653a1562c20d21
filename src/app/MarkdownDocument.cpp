#include "app/MarkdownDocument.h"

#include "platform/text/Utf.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace velkin {

namespace fs = std::filesystem;

std::vector<ContentType> MarkdownDocument::readableContentTypes()
{
    return {ContentType::velkinMarkdown(), ContentType::plainText()};
}

std::vector<ContentType> MarkdownDocument::writableContentTypes()
{
    return readableContentTypes();
}

MarkdownDocument MarkdownDocument::fromData(std::string_view bytes)
{
    if (auto strict = decodeUtf8Strict(bytes))
        return {std::move(*strict)};
    return {u16(bytes)};
}

std::optional<MarkdownDocument> MarkdownDocument::read(const fs::path& path, std::string* error)
{
    const auto fail = [&](const std::string& reason) -> std::optional<MarkdownDocument> {
        if (error)
            *error = "The file \u201C" + path.filename().string() + "\u201D couldn\u2019t be opened: " + reason + ".";
        return std::nullopt;
    };
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status))
        return fail("no such file");
    if (fs::is_directory(status))
        return fail("it is a folder");
    if (!fs::is_regular_file(status))
        return fail("it is not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fail(std::strerror(errno));
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return fail("it could not be read");
    return fromData(bytes.str());
}

std::string MarkdownDocument::data() const
{
    return u8(text);
}

} // namespace velkin
