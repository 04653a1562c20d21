#include "platform/url/Url.h"

#include <gtest/gtest.h>

using namespace velkin;

TEST(Url, ParsesOnlyValidAddressText)
{
    EXPECT_TRUE(Url::parse("https://example.com/a/b.md?x=1#top"));
    EXPECT_FALSE(Url::parse("has space.md"));
    EXPECT_FALSE(Url::parse("bad%zzescape"));
    EXPECT_FALSE(Url::parse("caf\xC3\xA9.md"));
    auto u = *Url::parse("HTTPS://Example.COM/Read.TXT");
    EXPECT_EQ(u.absoluteString(), "HTTPS://Example.COM/Read.TXT");  // kept as written
    EXPECT_EQ(u.scheme(), "HTTPS");
    EXPECT_EQ(u.pathExtension(), "TXT");
    EXPECT_EQ(u.host(), "Example.COM");
    EXPECT_FALSE(Url::parse("notes/today.md")->hasScheme());
    EXPECT_TRUE(Url::parse("mailto:a@b.c")->hasScheme());
}

TEST(Url, ResolvesRelativeReferences)
{
    const Url base = *Url::parse("file:///home/me/docs/note.md");
    EXPECT_EQ(Url::parse("pic.png", base)->string(), "file:///home/me/docs/pic.png");
    EXPECT_EQ(Url::parse("../img/a%20b.png", base)->string(), "file:///home/me/img/a%20b.png");
    EXPECT_EQ(Url::parse("/etc/x", base)->string(), "file:///etc/x");
    EXPECT_EQ(Url::parse("#frag", base)->string(), "file:///home/me/docs/note.md#frag");
    EXPECT_EQ(Url::parse("https://x.org/p", base)->string(), "https://x.org/p");
    const Url web = *Url::parse("https://x.org/a/b/c");
    EXPECT_EQ(Url::parse("./d/../e", web)->string(), "https://x.org/a/b/e");
    EXPECT_EQ(Url::parse("//y.org/z", web)->string(), "https://y.org/z");
}

TEST(Url, FileAddressesAndPathPieces)
{
    const Url f = Url::fileURL("/tmp/my notes/trip.md");
    EXPECT_EQ(f.string(), "file:///tmp/my%20notes/trip.md");
    EXPECT_TRUE(f.isFileURL());
    EXPECT_EQ(f.path(), "/tmp/my notes/trip.md");
    EXPECT_EQ(f.lastPathComponent(), "trip.md");
    EXPECT_EQ(f.pathExtension(), "md");
    EXPECT_EQ(f.deletingLastPathComponent().string(), "file:///tmp/my%20notes/");
    EXPECT_EQ(f.deletingPathExtension().lastPathComponent(), "trip");
    EXPECT_EQ(f.deletingLastPathComponent().appendingPathComponent("images", true).appendingPathComponent("a b.png").path(),
              "/tmp/my notes/images/a b.png");
    EXPECT_EQ(Url::fileURL("/tmp/.hidden").pathExtension(), "");
}

TEST(Url, PercentEncodingRoundTrips)
{
    EXPECT_EQ(Url::percentEncode("a b#?%/\xC3\xA9"), "a%20b%23%3F%25/%C3%A9");
    EXPECT_EQ(*Url::percentDecode("a%20b%C3%A9"), "a b\xC3\xA9");
    EXPECT_FALSE(Url::percentDecode("50%"));
}
