#pragma once
// The decoded pictures that documents refer to, for the whole process, keyed by
// their resolved address exactly as it prints. A key goes from unseen to loading
// to loaded or failed and stays there; nothing is evicted and nothing retried,
// except by the synchronous load that page rendering uses.
//
// Main thread only. Files are read and decoded on a worker thread and the result
// is applied on the main thread; http and https go through Qt's network access.
// Only regular files are read (never a FIFO or a device), up to maxBytes; a
// download stops at maxBytes or after the timeout; decoding has an allocation
// limit. Whatever cannot be read or decoded is a failed load.
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

// The key of an image source as written, resolved against the document's address:
// nothing when it does not resolve or has no scheme (a relative source without a document).
std::optional<std::string> key(U16View source, const std::optional<Url>& base);

// The picture loaded for a key, or null.
const QImage* cachedImage(const std::string& key);
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
