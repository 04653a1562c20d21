#pragma once
// The file of an open document, watched for changes made by other programs.
// It keeps a digest of the bytes last read from or written to the file and,
// when the file or its folder changes (many programs save by writing a new file
// and renaming it over the old one), looks again once the writes have settled:
// does the file still hold those bytes, other bytes, or is it gone?
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velkin {

class DocumentFile : public QObject {
    Q_OBJECT
public:
    enum class DiskState { same, changed, missing };

    // How long after the first sign of a change the file is looked at; later
    // signs within that time are taken in by the same look.
    static constexpr int settleMilliseconds = 80;

    explicit DocumentFile(QObject* parent = nullptr);
    ~DocumentFile() override;

    const std::optional<std::filesystem::path>& path() const { return path_; }
    // The file now holds `bytes` (just read or written): watch it, and compare every later look with them.
    void setFile(const std::filesystem::path& path, std::string_view bytes);
    // No file any more (nothing is watched).
    void clear();

    // What the file holds now compared with the known bytes; the file is read
    // whole each time (file times are too coarse to tell two quick writes apart).
    // `bytes`, when given, receives a changed file's contents.
    DiskState check(std::string* bytes = nullptr) const;

signals:
    // The file differs from the known bytes (sent once for each new content seen),
    // is gone, or holds the known bytes again after one of those.
    void changedOnDisk(velkin::DocumentFile::DiskState state);

private:
    static std::uint64_t digest(std::string_view bytes);

    void schedule();
    void look();
    void watch();
    // The name the watcher is given for `path`: the path itself where it is UTF-8 text;
    // else, as the watcher takes names as text alone, the link to a descriptor opened
    // on it here and kept in `held` (while it is the same file); empty when it is gone.
    QString watchName(const std::filesystem::path& path, int& held);
    // Stops watching through the descriptor `held` and closes it.
    void release(int& held);

    QFileSystemWatcher watcher_;
    QTimer settle_;
    std::optional<std::filesystem::path> path_;
    // The descriptors a path that is not UTF-8 is watched through: the file's and its folder's.
    int heldFile_ = -1;
    int heldFolder_ = -1;
    std::uint64_t known_ = 0;
    // The last state sent, and the digest of the disk content it was sent for.
    DiskState reported_ = DiskState::same;
    std::uint64_t reportedDigest_ = 0;
};

} // namespace velkin
