#pragma once
// The decoded pictures that documents refer to, for the whole process, keyed by
// their resolved address exactly as it prints. A key goes from unseen to loading
// to loaded or failed; a failed key stays failed (only the synchronous loads of
// page rendering try it again). A loaded picture's size stays known for good,
// but its pixels are kept within keptBytes: those drawn least recently are let
// go (never one drawn within the last keptFor), and a picture let go is loaded
// again when it is drawn. Once half the bound is taken, a load that no drawing
// asked for reads the picture's size alone, from its header where that is sure.
//
// Main thread only. Files are read and decoded on a bounded pool of worker
// threads and the result is applied on the main thread; http and https go
// through Qt's network access. Only regular files are read (never a FIFO or a
// device), up to maxBytes; a download stops at maxBytes or after the timeout;
// decoding has an allocation limit. Whatever cannot be read or decoded is a
// failed load.
#include "platform/graphics/PictureFile.h"
#include "platform/text/Range.h"
#include "platform/url/Url.h"

#include <QImage>

#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace velkin::ImageCache {

// Largest file or download read for a picture.
inline constexpr long long maxBytes = 50LL * 1024 * 1024;
// Largest allocation decoding may make, in megabytes.
inline constexpr int decodeLimitMegabytes = PictureFile::decodeLimitMegabytes;
// How long a download may stall before it fails, in milliseconds.
inline constexpr int downloadTimeoutMs = 30000;
// The pixels kept of the pictures not drawn lately, in bytes (as exports keep theirs).
inline constexpr long long keptBytes = 64LL << 20;
// How long a picture drawn (or loaded to be drawn) is kept whatever the bound.
inline constexpr int keptForMs = 1000;

// The key of an image source as written, resolved against the document's address:
// nothing when it does not resolve or has no scheme (a relative source without a document).
std::optional<std::string> key(U16View source, const std::optional<Url>& base);

// The picture loaded for a key and kept, or null; the call counts as drawing it.
const QImage* cachedImage(const std::string& key);
// The device-independent size of the key's picture once it has loaded, kept or
// let go since; nothing before (or after a failed load).
std::optional<QSizeF> pictureSize(const std::string& key);
// The size of the picture as shown: its own, or none (the placeholder's) while
// it has not loaded or has failed.
QSizeF shownSize(const std::string& key);
// How many bytes of pixels are kept now.
long long keptPixelBytes();
// Whether the key's load failed.
bool hasFailed(const std::string& key);
// Whether the key is being loaded.
bool isLoading(const std::string& key);
const std::unordered_set<std::string>& failedKeys();

// Starts loading the source's picture unless it is loaded, failed or loading.
// `changed` runs on the main thread when the load ends, for every call made
// while the key was loading (each window asking for the same picture), or at
// once for an address that cannot be loaded (any scheme but file, http and https).
void ensureLoaded(U16View source, const std::optional<Url>& base, std::function<void()> changed);

// Loads again a picture that was let go, as ensureLoaded loads a new one; it
// stays kept for keptForMs once it is back. Nothing for a key that is kept,
// failed, loading or was never loaded.
void reload(const std::string& key, std::function<void()> changed);
// The same before it returns (page rendering draws at once).
void reloadSynchronously(const std::string& key);

// Loads the picture before returning (page rendering), trying again a key that
// failed before; a failure is recorded, nothing is called back.
void loadSynchronously(U16View source, const std::optional<Url>& base);

// How long one page render may wait for all of its downloads together, in milliseconds.
inline constexpr int renderDownloadBudgetMs = 10000;

// Loads the pictures of all the sources before returning (page rendering):
// files are read at once, downloads all run side by side within `budgetMs`
// for the whole call. A download that fails or has not ended by then is a
// failure that later calls do not try again; a file is read again each time.
void loadAllSynchronously(const std::vector<U16String>& sources, const std::optional<Url>& base,
                          int budgetMs = renderDownloadBudgetMs);

// ---- The loading steps, shared with the tests ----
// The whole contents of a regular file of at most `limit` bytes; nothing for a
// missing or unreadable file, a directory, FIFO, socket or device, or a larger file.
std::optional<QByteArray> readRegularFile(const std::string& path, long long limit = maxBytes);
// The picture in `data` as PictureFile::decode gives it (upright as the file says), or a
// null image when it is none or would need more than the decoding limit.
QImage decode(const QByteArray& data);

} // namespace velkin::ImageCache
