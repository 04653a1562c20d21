#include "document/ImageInsertion.h"
#include "document/LinkRouter.h"
#include "markdown/ImageBlock.h"
#include "platform/FileRead.h"
#include "platform/IniText.h"
#include "platform/OutputFile.h"
#include "platform/Settings.h"
#include "platform/graphics/PngWriter.h"
#include "platform/text/Utf.h"

#include <QImage>
#include <QSettings>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <csignal>

#include <grp.h>
#include <pwd.h>
#include <sys/klog.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace velkin;
namespace fs = std::filesystem;

namespace {

class ImageInsertionFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path()
                 / ("velkin-insert-" + std::to_string(getpid()) + "-"
                    + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        document = Url::fileURL((folder / "doc.md").string());
    }
    void TearDown() override { fs::remove_all(folder); }

    fs::path write(const std::string& name, const std::string& bytes)
    {
        fs::create_directories((folder / name).parent_path());
        std::ofstream(folder / name, std::ios::binary) << bytes;
        return folder / name;
    }

    fs::path folder;
    std::optional<Url> document;
};

} // namespace

TEST_F(ImageInsertionFolder, CopiesKeepTheNameAndNumberRepeats)
{
    const fs::path photo = write("src/photo.JPG", "jpeg bytes");
    EXPECT_EQ(ImageInsertion::copyBesideDocument(Url::fileURL(photo.string()), document), U16String(u"images/photo.JPG"));
    EXPECT_EQ(ImageInsertion::copyBesideDocument(Url::fileURL(photo.string()), document), U16String(u"images/photo-1.JPG"));
    EXPECT_EQ(ImageInsertion::copyBesideDocument(Url::fileURL(photo.string()), document), U16String(u"images/photo-2.JPG"));
    const fs::path bare = write("src/scan", "raw");
    EXPECT_EQ(ImageInsertion::copyBesideDocument(Url::fileURL(bare.string()), document), U16String(u"images/scan.png"));
    std::ifstream copied(folder / "images/scan.png", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(copied)), {});
    EXPECT_EQ(bytes, "raw");
    const fs::path spaced = write("src/my photo.png", "p");
    EXPECT_EQ(ImageInsertion::copyBesideDocument(Url::fileURL(spaced.string()), document),
              U16String(u"images/my photo.png"));
    // A name that is not UTF-8 is written with its bytes escaped, and the picture is found by it.
    const fs::path unnamed = write("src/n\xFF\xFE.png", "b");
    const auto placed = ImageInsertion::copyBesideDocument(Url::fileURL(unnamed.string()), document);
    EXPECT_EQ(placed, U16String(u"images/n%FF%FE.png"));
    const auto found = LinkRouter::resolvePicture(placed.value_or(u""), document);
    EXPECT_EQ(found ? found->path() : "", (folder / "images/n\xFF\xFE.png").string());
}

TEST_F(ImageInsertionFolder, PastedPicturesAreNumbered)
{
    EXPECT_EQ(ImageInsertion::materialize("a", u"", document), U16String(u"images/image.png"));
    EXPECT_EQ(ImageInsertion::materialize("b", u"png", document), U16String(u"images/image-1.png"));
    EXPECT_EQ(ImageInsertion::materialize("c", u"gif", document), U16String(u"images/image.gif"));
}

TEST_F(ImageInsertionFolder, NothingIsPlacedForAnUnsavedDocument)
{
    const fs::path photo = write("photo.png", "p");
    EXPECT_FALSE(ImageInsertion::copyBesideDocument(Url::fileURL(photo.string()), std::nullopt));
    EXPECT_FALSE(ImageInsertion::materialize("x", u"png", std::nullopt));
    EXPECT_FALSE(ImageInsertion::materialize("x", u"png", *Url::parse("https://x.org/doc.md")));
    EXPECT_FALSE(fs::exists(folder / "images"));
}

// A picture that cannot be written whole (here past a file size limit, in a child process) is not
// placed, and no part of it is left beside the document: neither its file nor the folder made
// for it. A folder that was there stays.
TEST_F(ImageInsertionFolder, APictureWrittenShortIsNotPlaced)
{
    const std::string bytes(100000, 'p');
    const fs::path photo = write("src/photo.png", bytes);
    const auto placedPastLimit = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16384, 16384};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool pasted = ImageInsertion::materialize(QByteArray::fromStdString(bytes), u"png", document).has_value();
        const bool copied = ImageInsertion::copyBesideDocument(Url::fileURL(photo.string()), document).has_value();
        return pasted || copied || fs::exists(folder / "images");
    };
    EXPECT_EXIT(std::_Exit(placedPastLimit() ? 1 : 0), ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(fs::exists(folder / "images"));
    fs::create_directories(folder / "images");
    EXPECT_EXIT(std::_Exit(placedPastLimit() && !fs::is_empty(folder / "images") ? 1 : 0),
                ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(fs::is_directory(folder / "images"));
    EXPECT_TRUE(fs::is_empty(folder / "images"));
}

// Every file Velkin writes goes through one writer, which fails a write the system cut
// short: one the size limit cuts at its last flush (under the write buffer's 16 KB) as well
// as one cut on the way. The old file stays byte for byte, and no temporary file is left.
TEST_F(ImageInsertionFolder, AFileWrittenShortLeavesTheOldOneAsItWas)
{
    const std::string old = "the saved text\n";
    const fs::path file = write("doc.md", old);
    const auto writtenPastLimit = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{8192, 8192};
        setrlimit(RLIMIT_FSIZE, &limit);
        ImageInsertion::Failure failure;
        return OutputFile::writeWhole(file, std::string(12370, 'x')) && OutputFile::writeWhole(file, std::string(100000, 'x'))
               && !ImageInsertion::materialize(QByteArray(12000, 'p'), u"png", document, &failure)
               && failure.file == "image.png" && failure.reason == "File too large";
    };
    EXPECT_EXIT(std::_Exit(writtenPastLimit() ? 0 : 1), ::testing::ExitedWithCode(0), "");
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
}

// The one writer and the one reader, by what a path names and how it is written: a
// ".." after a linked folder is where the link leads, a link is written through, a name
// is bytes; a pipe, a device or a folder is refused at once, never waited on or replaced.
TEST_F(ImageInsertionFolder, FilesAreWrittenAndReadWhereTheSystemSays)
{
    write("real/deep/.keep", "");
    fs::create_symlink(folder / "real/deep", folder / "lnk");
    write("doc.md", "mine");
    write("target.md", "old");
    fs::create_symlink("target.md", folder / "link.md");
    ASSERT_EQ(::mkfifo((folder / "pipe.md").c_str(), 0600), 0);
    fs::create_symlink("/dev/full", folder / "full.md");
    fs::create_symlink("/dev/zero", folder / "zero.md");
    fs::create_directory(folder / "folder.md");
    struct Target {
        const char* form;
        fs::path path;
        std::optional<std::string> refusal;  // the writer's
        FileRead::Failure::Kind unread;      // the reader's, when refused
        fs::path lands;                      // where the bytes go
    };
    using Kind = FileRead::Failure::Kind;
    const Target targets[] = {
        {"link through ..", folder / "lnk/../doc.md", std::nullopt, {}, folder / "real/doc.md"},
        {"link to a file", folder / "link.md", std::nullopt, {}, folder / "target.md"},
        {"name not UTF-8", folder / "bad\xFF.md", std::nullopt, {}, folder / "bad\xFF.md"},
        {"pipe", folder / "pipe.md", "it is not a regular file", Kind::notRegular, {}},
        {"link to a device that takes nothing", folder / "full.md", "it is not a regular file", Kind::notRegular, {}},
        {"link to an endless device", folder / "zero.md", "it is not a regular file", Kind::notRegular, {}},
        {"folder", folder / "folder.md", "a folder has that name", Kind::folder, {}},
    };
    for (const Target& target : targets) {
        SCOPED_TRACE(target.form);
        EXPECT_EQ(OutputFile::writeWhole(target.path, "new"), target.refusal);
        FileRead::Failure failure;
        const auto read = FileRead::bytes(target.path, 1 << 20, &failure);
        if (target.refusal) {
            EXPECT_FALSE(read);
            EXPECT_EQ(failure.kind, target.unread);
            continue;
        }
        EXPECT_EQ(read, "new");
        std::ifstream in(target.lands, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");
    }
    std::ifstream mine(folder / "doc.md", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(mine), {}), "mine");
    EXPECT_TRUE(fs::is_symlink(folder / "link.md"));
    EXPECT_TRUE(fs::is_fifo(folder / "pipe.md"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 10) << "no temporary file is left behind";

    // A replaced file keeps its mode, and its owner and group where the user may set them
    // (only the administrator gives a file away).
    const fs::path readable = write("group-read.md", "old");
    ::chmod(readable.c_str(), 0640);
    EXPECT_EQ(OutputFile::writeWhole(readable, "new"), std::nullopt);
    struct stat info {};
    ASSERT_EQ(::stat(readable.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    // Nor is what a private file holds open to others while it is written, whatever the creation mask lets through.
    const fs::path secret = write("secret.md", "old");
    ::chmod(secret.c_str(), 0600);
    const mode_t mask = ::umask(022);
    EXPECT_EQ(OutputFile::writeWhole(secret, [&](QIODevice& out) -> std::optional<std::string> {
                  for (const auto& entry : fs::directory_iterator(folder)) {
                      if (entry.path().filename().string().rfind(".velkin-", 0) == 0) {
                          EXPECT_EQ(entry.status().permissions() & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
                      }
                  }
                  out.write("new");
                  return std::nullopt;
              }),
              std::nullopt);
    ::umask(mask);
    ASSERT_EQ(::stat(secret.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    // And its extended attributes, its access list among them, where the file system keeps them.
    const fs::path shared = write("shared.md", "old");
    // Owner rw, user 65534 r, group r, mask r, others none.
    const std::uint32_t acl[] = {2, 0x00060001, 0xffffffff, 0x00040002, 65534, 0x00040004, 0xffffffff,
                                 0x00040010, 0xffffffff, 0x00000020, 0xffffffff};
    const std::string note = "kept";
    for (const auto& [name, value] : {std::pair{"user.velkin-note", note},
                                      std::pair{"system.posix_acl_access", std::string(reinterpret_cast<const char*>(acl), sizeof acl)}}) {
        if (::setxattr(shared.c_str(), name, value.data(), value.size(), 0) != 0)
            continue;
        ASSERT_EQ(OutputFile::writeWhole(shared, "new"), std::nullopt);
        std::string read(value.size() + 16, '\0');
        const ssize_t length = ::getxattr(shared.c_str(), name, read.data(), read.size());
        EXPECT_EQ(read.substr(0, std::size_t(std::max<ssize_t>(length, 0))), value) << name;
    }

    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || !nobody)
        return;
    const fs::path theirs = write("theirs.md", "old");
    ASSERT_EQ(::chown(theirs.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    ::chmod(theirs.c_str(), 0640);
    EXPECT_EQ(OutputFile::writeWhole(theirs, "new"), std::nullopt);
    ASSERT_EQ(::stat(theirs.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, nobody->pw_uid);
    EXPECT_EQ(info.st_gid, nobody->pw_gid);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

// A file the user may not write is never replaced, though its folder takes new files: the
// write is refused with the system's reason, and the file keeps its bytes and its owner.
// (The administrator writes any file: run as root, the writer runs as nobody.)
TEST_F(ImageInsertionFolder, AFileTheUserMayNotWriteStaysAsItWas)
{
    const passwd* nobody = ::getpwnam("nobody");
    const bool root = ::geteuid() == 0;
    if (root && !nobody)
        GTEST_SKIP() << "no user to write as";
    fs::permissions(folder, fs::perms::all);
    struct Target {
        const char* form;
        mode_t mode;
        bool anotherUsers;  // made by root for nobody to write: only when run as root
    };
    const Target targets[] = {
        {"read-only file", 0444, false},
        {"another user's file", 0644, true},
        {"another user's file through a link", 0644, true},
    };
    for (const Target& target : targets) {
        if (target.anotherUsers && !root)
            continue;
        SCOPED_TRACE(target.form);
        const fs::path file = write("file.md", "old");
        ::chmod(file.c_str(), target.mode);
        const fs::path named = std::string_view(target.form).ends_with("link") ? folder / "link.md" : file;
        if (named != file)
            fs::create_symlink("file.md", named);
        struct stat before {};
        ASSERT_EQ(::stat(file.c_str(), &before), 0);
        const auto refused = [&] {
            if (root && (::setgroups(0, nullptr) != 0 || ::setresgid(nobody->pw_gid, nobody->pw_gid, nobody->pw_gid) != 0
                         || ::setresuid(nobody->pw_uid, nobody->pw_uid, nobody->pw_uid) != 0))
                return false;
            return OutputFile::writeWhole(named, "new") == std::optional<std::string>("Permission denied");
        };
        EXPECT_EXIT(std::_Exit(refused() ? 0 : 1), ::testing::ExitedWithCode(0), "");
        std::ifstream in(file, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
        struct stat after {};
        ASSERT_EQ(::stat(file.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), named == file ? 1 : 2) << "no temporary file is left";
        fs::remove(file);
        fs::remove(named);
    }
}

// A picture copied in comes only from a regular file no larger than a picture read; a
// folder that cannot take it is named for its own reason.
TEST_F(ImageInsertionFolder, CopiesComeOnlyFromRegularFilesAndFailuresSayWhy)
{
    ASSERT_EQ(::mkfifo((folder / "pipe.png").c_str(), 0600), 0);
    for (const char* source : {"pipe.png", "/dev/zero"}) {
        ImageInsertion::Failure failure;
        EXPECT_FALSE(ImageInsertion::copyBesideDocument(Url::fileURL((folder / source).string()), document, &failure));
        EXPECT_EQ(failure.reason, "it is not a regular file") << source;
    }
    EXPECT_FALSE(fs::exists(folder / "images"));
    // Nor is a file of the system's own that looks regular but waits to be read (the kernel's
    // log), where it may be opened and holds nothing yet: refused at once, not waited on.
    constexpr int unreadLogBytes = 9;  // the system log's action that counts what is still unread
    if (FileRead::Regular::open("/proc/kmsg", 1) && ::klogctl(unreadLogBytes, nullptr, 0) == 0) {
        ImageInsertion::Failure failure;
        EXPECT_FALSE(ImageInsertion::copyBesideDocument(Url::fileURL("/proc/kmsg"), document, &failure));
        EXPECT_EQ(failure.reason, "it is not a regular file");
        FileRead::Failure read;
        EXPECT_FALSE(FileRead::bytes("/proc/kmsg", 1 << 20, &read));
        EXPECT_EQ(read.kind, FileRead::Failure::Kind::notRegular);
    }
    // (Root makes folders anywhere.)
    if (::geteuid() != 0) {
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        ImageInsertion::Failure failure;
        EXPECT_FALSE(ImageInsertion::materialize(QByteArray("png"), u"png", document, &failure));
        EXPECT_EQ(failure.reason, "Permission denied");
        fs::permissions(folder, fs::perms::owner_all);
    }

    // A settings file that is a pipe is not read, nor written over: nothing waits.
    Settings::Store settings(folder / "pipe.png");
    EXPECT_FALSE(settings.contains(QStringLiteral("zoom")));
    settings.setValue(QStringLiteral("zoom"), 2);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(settings.write(), "it could not be read: it is not a regular file");
    ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(fs::is_fifo(folder / "pipe.png"));
}

// The settings file too: a change that cannot be written whole leaves the file as it was
// (window frames, recent files, each document's zoom) and is named; one the limit lets
// through (at the new file's size and above) is kept. Reading needs no writing at all.
TEST_F(ImageInsertionFolder, TheSettingsFileWrittenShortStaysAsItWas)
{
    const char* home = std::getenv("XDG_CONFIG_HOME");
    const std::string previous = home ? home : "";
    setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    const fs::path ini = folder / "config/Velkin/Velkin.ini";
    const auto contents = [](const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    for (int i = 0; i < 400; ++i)
        Settings::open()->setValue(QStringLiteral("files/%1").arg(i), QStringLiteral("recent document number %1").arg(i));
    const std::string old = contents(ini);
    ASSERT_GT(old.size(), 8192u);
    Settings::open()->setValue(QStringLiteral("zoom"), 2);
    const std::string changed = contents(ini);
    const auto changeUnder = [&](rlim_t size) {
        std::ofstream(ini, std::ios::binary | std::ios::trunc) << old;
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{size, size};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool read = Settings::open()->value(QStringLiteral("files/399")).toString() == "recent document number 399";
        Settings::open()->setValue(QStringLiteral("zoom"), 2);
        std::_Exit(read ? 0 : 1);
    };
    for (const rlim_t limit : {rlim_t(0), rlim_t(8192), rlim_t(changed.size() - 1), rlim_t(changed.size()), rlim_t(changed.size() + 1)}) {
        SCOPED_TRACE(limit);
        const bool whole = limit >= changed.size();
        // Under a limit of 0 not even the death test's record of standard error can be written.
        EXPECT_EXIT(changeUnder(limit), ::testing::ExitedWithCode(0),
                    whole ? "^$" : limit == 0 ? "" : "Settings not saved: cannot write .*Velkin.ini \\(File too large\\)");
        EXPECT_EQ(contents(ini), whole ? changed : old);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder / "config/Velkin"), {}), 1);
    }
    EXPECT_EQ(Settings::open()->value(QStringLiteral("zoom")).toInt(), 2);

    // A folder that cannot be written to (root writes anywhere: there the size limit of 0
    // above stood for it) is read all the same.
    if (geteuid() != 0) {
        fs::permissions(folder / "config/Velkin", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(Settings::open()->value(QStringLiteral("files/0")).toString(), QStringLiteral("recent document number 0"));
        Settings::open()->setValue(QStringLiteral("zoom"), 4);
        EXPECT_EQ(Settings::open()->value(QStringLiteral("zoom")).toInt(), 2);
        fs::permissions(folder / "config/Velkin", fs::perms::owner_all);
    }

    // A linked file stays a link, and the file it points to takes the change.
    fs::create_directories(folder / "dotfiles");
    fs::rename(ini, folder / "dotfiles/Velkin.ini");
    fs::create_symlink(folder / "dotfiles/Velkin.ini", ini);
    Settings::open()->setValue(QStringLiteral("zoom"), 3);
    EXPECT_TRUE(fs::is_symlink(ini));
    EXPECT_NE(contents(folder / "dotfiles/Velkin.ini").find("zoom=3\n"), std::string::npos);
    EXPECT_EQ(Settings::open()->value(QStringLiteral("zoom")).toInt(), 3);
    // A configuration folder whose name is not UTF-8 is the one written and read.
    setenv("XDG_CONFIG_HOME", (folder / "config\xFF").c_str(), 1);
    Settings::open()->setValue(QStringLiteral("zoom"), 4);
    EXPECT_NE(contents(folder / "config\xFF/Velkin/Velkin.ini").find("zoom=4\n"), std::string::npos);
    EXPECT_EQ(Settings::open()->value(QStringLiteral("zoom")).toInt(), 4);
    std::ofstream(folder / "config\xFF/Velkin/Velkin.ini", std::ios::binary | std::ios::trunc) << "[General]\nzoom=5\n";
    EXPECT_EQ(Settings::open()->value(QStringLiteral("zoom")).toInt(), 5);
    home ? setenv("XDG_CONFIG_HOME", previous.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
}

// The settings text is the one QSettings writes, byte for byte, and reads back as the same values.
TEST_F(ImageInsertionFolder, TheSettingsTextIsTheOneQSettingsWrites)
{
    QByteArray binary("\x01\xd9\xd0\x00\x03)(\\\"a,;=\n\x7f\xff", 16);
    const QMap<QString, QVariant> values{
        {"General/x", "a section named General"},
        {"RecentDocuments/files", QStringList{"/home/a b/notes, v2.md", " lead", "@home", "caf\u00e9 \U0001F600.md"}},
        {"RecentDocuments/none", QStringList{}},
        {"RecentDocuments/one", QStringList{"only"}},
        {"DocumentState/%2Fhome%2Fa.md", QStringList{"1.2", "serif"}},
        {"WindowFrames/VelkinDocumentWindow", binary},
        {"Updates/Automatic", true},
        {"Updates/Launches", 7},
        {"Updates/Zoom", 1.25},
        {"escapes", QString("tab\there\nline \\ \"q\" \x01" "abc end ")},
        {"k\u00e9y with/slash and %", "="},
    };
    const fs::path file = folder / "qt.ini";
    {
        QSettings qt(QString::fromStdString(file.string()), QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            qt.setValue(it.key(), it.value());
    }
    std::ifstream in(file, std::ios::binary);
    const std::string written(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(IniText::text(values).toStdString(), written);
    QSettings back(QString::fromStdString(file.string()), QSettings::IniFormat);
    EXPECT_EQ(back.value("WindowFrames/VelkinDocumentWindow").toByteArray(), binary);
    EXPECT_EQ(back.value("RecentDocuments/files").toStringList(), values["RecentDocuments/files"].toStringList());
}

TEST(ImageInsertion, RelativePathsOnlyInsideTheDocumentFolder)
{
    const auto doc = Url::fileURL("/a/b/doc.md");
    EXPECT_EQ(ImageInsertion::relativePath(Url::fileURL("/a/b/images/x.png"), doc), U16String(u"images/x.png"));
    EXPECT_EQ(ImageInsertion::relativePath(*Url::parse("file:///a/b/pics/../images/x.png"), doc),
              U16String(u"images/x.png"));
    EXPECT_FALSE(ImageInsertion::relativePath(Url::fileURL("/a/c/x.png"), doc));
    EXPECT_FALSE(ImageInsertion::relativePath(Url::fileURL("/a/b"), doc));
    EXPECT_FALSE(ImageInsertion::relativePath(Url::fileURL("/a/b/x.png"), std::nullopt));
}

TEST(ImageInsertion, MimeTypesByExtension)
{
    EXPECT_EQ(ImageInsertion::mimeType(u"JPG"), u"image/jpeg");
    EXPECT_EQ(ImageInsertion::mimeType(u"heif"), u"image/heic");
    EXPECT_EQ(ImageInsertion::mimeType(u"svg"), u"image/png");
    EXPECT_EQ(ImageInsertion::mimeType(u""), u"image/png");
    EXPECT_EQ(ImageInsertion::mimeType(u"TIF"), u"image/tiff");
    EXPECT_EQ(ImageInsertion::imageExtensions().size(), 10u);
}

TEST(PngWriter, EncodesAPictureInMemory)
{
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(Qt::red);
    const auto png = PngWriter::encode(image);
    ASSERT_TRUE(png);
    EXPECT_TRUE(png->startsWith("\x89PNG"));
    EXPECT_EQ(QImage::fromData(*png).size(), QSize(3, 2));
    EXPECT_FALSE(PngWriter::encode(QImage()));
}

namespace velkin {
namespace {

// A picture goes into the container of the line it is put on, a paragraph of its own; what
// followed the position keeps its leader below it. "|" marks the position and the caret.
TEST(ImageInsertion, PicturesTakeTheLeaderOfTheirQuotationOrItem)
{
    struct Row {
        const char* name;
        U16String before;
        U16String after;
        U16String lineEnd = u"\n";
    };
    const std::vector<Row> rows = {
        {"end of an item", u"- item|\n- two", u"- item\n\n  ![](i.png)\n|\n- two"},
        {"end of a quote", u"> quote|", u"> quote\n>\n> ![](i.png)\n|"},
        {"middle of a line", u"ab|cd", u"ab\n\n![](i.png)\n\n|cd"},
        {"blanks at the position go", u"ab|  cd", u"ab\n\n![](i.png)\n\n|cd"},
        {"middle of a quoted item", u"> - ab|cd", u"> - ab\n>\n>   ![](i.png)\n>\n>   |cd"},
        {"tab after the marker", u"1.\tx|", u"1.\tx\n\n    ![](i.png)\n|"},
        {"nested quote", u"> > a|\n> > b", u"> > a\n> >\n> > ![](i.png)\n|> >\n> > b"},
        {"line under an item's text", u"- a\n  b|", u"- a\n  b\n\n  ![](i.png)\n|"},
        {"start of the text", u"|abcd", u"![](i.png)\n\n|abcd"},
        {"in the leader: above the line", u">| quote", u"> ![](i.png)\n>\n|> quote"},
        {"a blank quote line becomes the picture's", u"> a\n>|\n> b", u"> a\n>\n> ![](i.png)\n|>\n> b"},
        {"CRLF", u"- a|\r\n- b", u"- a\r\n\r\n  ![](i.png)\r\n|\r\n- b", u"\r\n"},
        {"lone CR", u"> a|\r> b", u"> a\r>\r> ![](i.png)\r|>\r> b", u"\r"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        U16String text = row.before;
        const int position = int(text.find(u'|'));
        text.erase(size_t(position), 1);
        const ImageInsertion::Placement placed = ImageInsertion::placement(text, position, u"![](i.png)", row.lineEnd);
        U16String result = text;
        result.replace(size_t(placed.range.location), size_t(placed.range.length), placed.replacement);
        result.insert(size_t(placed.caret), u"|");
        EXPECT_EQ(u8(result), u8(row.after));
    }
}

// An image line must read back as the path it was written for, whatever the file is called.
TEST(ImageInsertion, ImageLinesReadBackAsTheirPath)
{
    using ImageInsertion::imageLine;
    EXPECT_EQ(imageLine(u"images/cat.png"), U16String(u"![](images/cat.png)"));
    EXPECT_EQ(imageLine(u"images/my photo.png"), U16String(u"![](<images/my photo.png>)"));
    for (const U16String path : {u"images/chart (2).png", u"images/(.png", u"images/a)b.png", u"images/tab\there.png", u"images/x<y>.png",
                                 u"images/\u00e9t\u00e9 \U0001F600.png"}) {
        const auto line = imageLine(path);
        ASSERT_TRUE(line) << u8(path);
        const auto parsed = ImageBlock::parseBlockImage(*line);
        ASSERT_TRUE(parsed) << u8(*line);
        EXPECT_EQ(parsed->url, path);
    }
    // Names no line can hold as they stand.
    for (const U16String path : {u"images/x <y>.png", u"images/line\nbreak.png", u""})
        EXPECT_FALSE(imageLine(path)) << u8(path);
}

} // namespace
} // namespace velkin
