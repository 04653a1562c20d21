#pragma once
// A fresh folder under the temporary directory, removed with everything in it.
#include <QUuid>

#include <filesystem>
#include <fstream>
#include <string>

namespace velkin::testing {

class TempDirectory {
public:
    TempDirectory()
        : path_(std::filesystem::temp_directory_path()
                / ("velkin-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString()))
    {
        std::filesystem::create_directories(path_);
    }
    ~TempDirectory()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Writes bytes to a file inside the folder, making folders on the way.
    std::filesystem::path write(const std::string& relative, const std::string& bytes) const
    {
        const std::filesystem::path file = path_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }

private:
    std::filesystem::path path_;
};

} // namespace velkin::testing
