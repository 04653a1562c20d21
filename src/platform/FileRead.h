#pragma once
// Reading whole files that Velkin looks up itself (help pages, samples, string tables).
#include "platform/text/Range.h"

#include <filesystem>
#include <optional>
#include <string>

namespace velkin::FileRead {

// The whole contents of a regular file; nothing when it is missing, not a
// regular file (a folder, a FIFO, a device: never waited on), unreadable or
// larger than `maxBytes`.
std::optional<std::string> bytes(const std::filesystem::path& path, long long maxBytes = 256LL << 20);
// The same read as strict UTF-8 text; nothing when the bytes are not UTF-8.
std::optional<U16String> utf8Text(const std::filesystem::path& path);

} // namespace velkin::FileRead
