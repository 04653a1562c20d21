#include "platform/graphics/PngWriter.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/resource.h>

using namespace velkin;

TEST(PngWriter, BandsJoinIntoOneImage)
{
    const auto path = std::filesystem::temp_directory_path() / "velkin-pngwriter-test.png";
    // 3000 points tall at scale 2: three bands of rows; a stripe crosses the band edges.
    const bool ok = PngWriter::writeInBands(path, 50, 3000, 2, Qt::white, [](QPainter& p, const QRectF&) {
        p.fillRect(QRectF(10, 1000, 20, 100), Qt::red);
        p.fillRect(QRectF(0, 2990, 50, 10), Qt::blue);
    });
    ASSERT_TRUE(ok);
    QImage image(QString::fromStdString(path.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(100, 6000));
    EXPECT_EQ(image.pixelColor(40, 2050), QColor(Qt::red));   // across the first band edge (2048)
    EXPECT_EQ(image.pixelColor(5, 2050), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(50, 5995), QColor(Qt::blue));
    std::filesystem::remove(path);
}

TEST(PngWriter, RefusesImpossibleSizesAndPlaces)
{
    auto draw = [](QPainter&, const QRectF&) {};
    EXPECT_FALSE(PngWriter::writeInBands("/tmp/velkin-never.png", 0, 10, 1, Qt::white, draw));
    EXPECT_FALSE(PngWriter::writeInBands("/tmp/velkin-never.png", 1e7, 1e7, 2, Qt::white, draw));
    std::string error;
    EXPECT_FALSE(PngWriter::writeInBands("/nonexistent-folder/x.png", 10, 10, 1, Qt::white, draw, &error));
    EXPECT_EQ(error.rfind("cannot write the file (", 0), 0u) << error;
    EXPECT_FALSE(PngWriter::write(QImage(), "/tmp/velkin-never.png", &error));
    EXPECT_EQ(error, "not enough memory");
}

namespace {

// Writes a page of noise, which compresses to megabytes, under a 64 KB file
// size limit, and ends the process: status 0 when the write failed with its
// reason. Anything the failure left allocated is then a leak the sanitizer
// build reports at exit.
[[noreturn]] void writeNoiseUnderASizeLimit(const std::filesystem::path& path)
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, 64 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    QImage noise(400, 256, QImage::Format_ARGB32);
    uint32_t state = 12345;
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            noise.setPixel(x, y, state | 0xFF000000u);
        }
    std::string error;
    const bool written = PngWriter::writeInBands(path, 200, 3000, 2, Qt::white, [&](QPainter& p, const QRectF& band) {
        for (double y = std::floor(band.top() / 128) * 128; y < band.bottom(); y += 128)
            p.drawImage(QRectF(0, y, 200, 128), noise);
    }, &error);
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(!written && !std::filesystem::exists(path) ? 0 : 1);
}

// Writes a picture under a file size limit a kilobyte short of its size, and
// ends the process: status 0 when the write failed naming the limit.
[[noreturn]] void writeAKilobyteShort(const std::filesystem::path& path)
{
    std::signal(SIGXFSZ, SIG_IGN);
    QImage picture(300, 300, QImage::Format_ARGB32);
    uint32_t state = 54321;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            picture.setPixel(x, y, state | 0xFF000000u);
        }
    if (!PngWriter::write(picture, path))
        std::exit(1);
    const rlim_t size = rlim_t(std::filesystem::file_size(path)) - 1024;
    std::filesystem::remove(path);
    const rlimit limit{size, size};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string error;
    const bool written = PngWriter::write(picture, path, &error);
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(!written && !std::filesystem::exists(path) ? 0 : 1);
}

} // namespace

TEST(PngWriter, AFullDiskFailsTheWriteAndFreesEverything)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto path = std::filesystem::temp_directory_path() / "velkin-pngwriter-full.png";
    std::filesystem::remove(path);
    EXPECT_EXIT(writeNoiseUnderASizeLimit(path), ::testing::ExitedWithCode(0), "cannot write the file \\(File too large\\)");
    // A write cut short near the end sets no error of its own: the limit is named all the same.
    EXPECT_EXIT(writeAKilobyteShort(path), ::testing::ExitedWithCode(0), "cannot write the file \\(File too large\\)");
    std::filesystem::remove(path);
}

TEST(PngWriter, WritesMoreRowsThanLibpngAllowsByDefault)
{
    const auto path = std::filesystem::temp_directory_path() / "velkin-pngwriter-tall.png";
    // One pixel wide and 1.1 million rows: past libpng's default of a million.
    ASSERT_TRUE(PngWriter::writeInBands(path, 1, 1'100'000, 1, Qt::white, [](QPainter&, const QRectF&) {}));
    std::ifstream in(path, std::ios::binary);
    unsigned char header[24] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    const unsigned rows = unsigned(header[20]) << 24 | unsigned(header[21]) << 16 | unsigned(header[22]) << 8 | header[23];
    EXPECT_EQ(rows, 1'100'000u);
    std::filesystem::remove(path);
}
