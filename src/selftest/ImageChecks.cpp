#include "selftest/SelfTestContext.h"

#include "editor/ImageInsertion.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <filesystem>
#include <fstream>

namespace velkin {

void group14BlockImages(SelfTestContext& t)
{
    (void)t;
}

void group15ImageInsertion(SelfTestContext& t)
{
    namespace fs = std::filesystem;
    const fs::path folder = SelfTestFiles::temporaryPath("velkin-imgtest-");
    std::error_code ec;
    fs::create_directories(folder, ec);
    const Url documentURL = Url::fileURL((folder / "note.md").string());
    const fs::path picture = folder / "pic.png";
    {
        std::ofstream out(picture, std::ios::binary);
        out.put(char(0x89));
    }
    t.check("image inside the doc folder \u2192 relative path",
            ImageInsertion::relativePath(Url::fileURL(picture.string()), documentURL) == U16String(u"pic.png"));
    const fs::path elsewhere = SelfTestFiles::temporaryPath("elsewhere-", "png");
    t.check("image outside the doc folder \u2192 not relative",
            !ImageInsertion::relativePath(Url::fileURL(elsewhere.string()), documentURL));
    const auto placed = ImageInsertion::materialize(QByteArray("x"), u"png", documentURL);
    t.check("raw data beside a saved doc \u2192 images/ path",
            placed && TextOps::hasPrefix(*placed, u"images/") && TextOps::hasSuffix(*placed, u".png"));
    t.check("materialised image exists on disk", fs::exists(folder / u8(placed.value_or(U16String())), ec));
    t.check("raw data with no doc folder \u2192 nothing placed",
            !ImageInsertion::materialize(QByteArray("x"), u"png", std::nullopt));
    fs::remove_all(folder, ec);
}

} // namespace velkin
