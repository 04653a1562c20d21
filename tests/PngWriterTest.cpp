#include "platform/graphics/PngWriter.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
    EXPECT_FALSE(PngWriter::writeInBands("/nonexistent-folder/x.png", 10, 10, 1, Qt::white, draw));
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
