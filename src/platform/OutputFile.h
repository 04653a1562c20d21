#pragma once
// A file that is written in full or not at all. The bytes go to a temporary
// file beside the destination, which takes the destination's place only when
// everything was written; a failed or abandoned write leaves an existing file
// as it was and no partial file behind.
//
// The destination is taken as the system takes it: its name is bytes, a ".."
// after a linked folder goes where the link leads, and a destination that is a
// link is written at the file the link names (the link stays). Only a regular
// file is replaced: a folder, a pipe or a device in its place is refused, never
// opened, and so is a file the user may not write. The new file keeps the old
// one's owner, group and mode where the user may set them.
#include <QFileDevice>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

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

    // Why `destination` cannot be replaced as it is: a folder or another file
    // that is not a regular one has that name (through links too); nothing
    // for a regular file or a new name.
    static std::optional<std::string> replaceRefusal(const std::filesystem::path& destination);

    // The one way Velkin writes a file: opens, lets `write` give the bytes (the
    // reason when it could not give them all), and puts the file in place only when
    // the system took every byte. The reason on failure, the old file left as it was.
    using Writer = std::function<std::optional<std::string>(QIODevice&)>;
    static std::optional<std::string> writeWhole(const std::filesystem::path& destination, const Writer& write);
    static std::optional<std::string> writeWhole(const std::filesystem::path& destination, std::string_view bytes);

private:
    void discard();

    std::filesystem::path destination_;
    std::filesystem::path final_;      // the file the destination's links lead to
    std::filesystem::path temporary_;  // the new file beside it, until it takes its place
    int fd_ = -1;
    std::unique_ptr<QFileDevice> file_;
    int error_ = 0;  // the system's reason when a step after the writing failed
};

} // namespace velkin
