#pragma once
// A file that is written in full or not at all. The bytes go to a temporary
// file beside the destination, which takes the destination's place only when
// everything was written; a failed or abandoned write leaves an existing file
// as it was and no partial file behind. A destination that exists and is not
// a regular file (a device or a pipe the user named) is written directly.
#include <QFileDevice>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace velkin {

class OutputFile {
public:
    explicit OutputFile(const std::filesystem::path& destination);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens for writing; the reason on failure.
    std::optional<std::string> open();
    // The open file; writes that fail or come back short are remembered and
    // reported by failed() and commit().
    QFileDevice& device();
    // Whether a write has failed already (a full disk, a size limit).
    bool failed() const;
    // Puts the written file in place; the reason on failure, when nothing is left behind.
    std::optional<std::string> commit();
    // Why the system took fewer bytes than were written (a write cut short
    // sets no error): the file size limit, a full disk, or the system's reason.
    std::string refusal() const;

private:
    std::filesystem::path destination_;
    std::unique_ptr<QFileDevice> file_;
    bool direct_ = false;
};

} // namespace velkin
