// A small stand-in for libFuzzer where the libraries are built with g++: it
// replays the given corpus, then runs mutated inputs from a fixed seed. It takes
// libFuzzer's own flags (-runs=, -seed=, -max_len=, -max_total_time=,
// -artifact_prefix=), so scripts can drive either engine the same way.
// Without coverage feedback it relies on mutations that suit text formats:
// Markdown tokens, line breaks of every kind, repeated chunks.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#if defined(__has_include)
#if __has_include(<sanitizer/common_interface_defs.h>)
#include <sanitizer/common_interface_defs.h>
#define VELKIN_HAS_DEATH_CALLBACK 1
#endif
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// The input being run, kept where a dying process can still write it out.
Bytes current;
char artifactPath[4096];

void writeArtifact()
{
    static bool written = false;
    if (written)
        return;
    written = true;
    const int fd = ::open(artifactPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    size_t done = 0;
    while (done < current.size()) {
        const ssize_t n = ::write(fd, current.data() + done, current.size() - done);
        if (n <= 0)
            break;
        done += size_t(n);
    }
    ::close(fd);
    const char note[] = "\nThe failing input was written to ";
    (void)!::write(2, note, sizeof note - 1);
    (void)!::write(2, artifactPath, std::strlen(artifactPath));
    (void)!::write(2, "\n", 1);
}

void onSignal(int signal)
{
    writeArtifact();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

uint64_t fnv1a(const Bytes& bytes)
{
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : bytes)
        h = (h ^ b) * 1099511628211ull;
    return h;
}

void run(const Bytes& input, const std::string& prefix)
{
    current = input;
    std::snprintf(artifactPath, sizeof artifactPath, "%scrash-%016llx", prefix.c_str(),
                  static_cast<unsigned long long>(fnv1a(input)));
    LLVMFuzzerTestOneInput(current.data(), current.size());
}

// Pieces that text formats react to; a 0xFF lead byte carries one raw UTF-16 unit.
const std::vector<std::string>& tokens()
{
    static const std::vector<std::string> list = {
        "\n", "\r\n", "\r", "\t", " ", "    ", "\\", "*", "_", "**", "__", "~~", "`", "```", "~~~", "#", "# ",
        ">", "> ", "> [!NOTE]\n", "- ", "* ", "+ ", "1. ", "1) ", "- [ ] ", "- [x] ", "|", "| - |", "|---|:-:|",
        "[", "]", "(", ")", "![", "](", "]:", "[^", "[^1]: ", "<", ">", "</", "<!--", "-->", "<sub>", "<u>",
        "&", "&#", "&amp;", ":", ":smile:", "#f80", "rgb(1,2,3)", "\"", "'", "=", ";", "/*", "*/", "//", "%",
        "%2F", "%%", "../", "./", "?", "#frag", "http://", "https://a.b/c", "file:///", "mailto:", "@", "\\U00e9",
        "\xc2\xa0", "\xe2\x80\xa8", "\xe2\x80\xa9", "\xef\xbb\xbf", "\xf0\x9f\x98\x80", "\xf0\x9d\x9f\x8e",
        "\xcc\x81", "\xff\xd8\x00", "\xff\xdc\x00", "\xff\x00\x00", "0", "9", "999999999999", "-"};
    return list;
}

class Mutator {
public:
    Mutator(uint32_t seed, size_t maxLength) : rng_(seed), maxLength_(maxLength) {}

    Bytes mutate(const std::vector<Bytes>& corpus)
    {
        Bytes b = corpus.empty() ? Bytes() : corpus[pick(corpus.size())];
        const int steps = 1 + int(pick(5));
        for (int i = 0; i < steps; ++i)
            step(b, corpus);
        if (b.size() > maxLength_)
            b.resize(maxLength_);
        return b;
    }

private:
    size_t pick(size_t n) { return n == 0 ? 0 : size_t(rng_() % n); }

    void step(Bytes& b, const std::vector<Bytes>& corpus)
    {
        const size_t at = pick(b.size() + 1);
        switch (pick(8)) {
        case 0: // flip a bit
            if (!b.empty())
                b[pick(b.size())] ^= uint8_t(1u << pick(8));
            break;
        case 1: // any byte
            if (!b.empty())
                b[pick(b.size())] = uint8_t(rng_());
            break;
        case 2: // cut a stretch
            if (!b.empty()) {
                const size_t from = pick(b.size());
                b.erase(b.begin() + long(from), b.begin() + long(from + 1 + pick(std::min<size_t>(64, b.size() - from))));
            }
            break;
        case 3: // repeat a stretch, often many times (stalls hide in repetition)
            if (!b.empty()) {
                const size_t from = pick(b.size());
                const size_t length = 1 + pick(std::min<size_t>(16, b.size() - from));
                const Bytes chunk(b.begin() + long(from), b.begin() + long(from + length));
                const size_t times = 1 + pick(pick(4) == 0 ? 400 : 8);
                for (size_t i = 0; i < times && b.size() < maxLength_; ++i)
                    b.insert(b.begin() + long(at <= b.size() ? at : b.size()), chunk.begin(), chunk.end());
            }
            break;
        case 4: // cross over with another input
            if (!corpus.empty()) {
                const Bytes& other = corpus[pick(corpus.size())];
                if (!other.empty()) {
                    const size_t from = pick(other.size());
                    const size_t length = 1 + pick(std::min<size_t>(256, other.size() - from));
                    b.insert(b.begin() + long(at), other.begin() + long(from), other.begin() + long(from + length));
                }
            }
            break;
        case 5: // shorten
            b.resize(pick(b.size() + 1));
            break;
        default: { // a token
            const std::string& t = tokens()[pick(tokens().size())];
            b.insert(b.begin() + long(at), t.begin(), t.end());
            break;
        }
        }
    }

    std::mt19937 rng_;
    size_t maxLength_;
};

bool flag(const char* arg, const char* name, std::string& value)
{
    const size_t n = std::strlen(name);
    if (std::strncmp(arg, name, n) != 0)
        return false;
    value = arg + n;
    return true;
}

void collect(const fs::path& path, std::vector<fs::path>& files)
{
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        for (const auto& entry : fs::recursive_directory_iterator(path, ec))
            if (entry.is_regular_file(ec))
                files.push_back(entry.path());
    } else if (fs::is_regular_file(path, ec)) {
        files.push_back(path);
    } else {
        std::fprintf(stderr, "Not a corpus file or folder: %s\n", path.c_str());
    }
}

} // namespace

int main(int argc, char** argv)
{
    long long runs = -1;
    uint32_t seed = 1;
    size_t maxLength = 4096;
    double seconds = 0;
    std::string prefix;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        std::string v;
        if (flag(argv[i], "-runs=", v))
            runs = std::stoll(v);
        else if (flag(argv[i], "-seed=", v))
            seed = uint32_t(std::stoul(v));
        else if (flag(argv[i], "-max_len=", v))
            maxLength = size_t(std::stoul(v));
        else if (flag(argv[i], "-max_total_time=", v))
            seconds = std::stod(v);
        else if (flag(argv[i], "-artifact_prefix=", v))
            prefix = v;
        else if (argv[i][0] == '-')
            std::fprintf(stderr, "Ignoring the unknown flag %s\n", argv[i]);
        else
            collect(argv[i], files);
    }
    std::sort(files.begin(), files.end());

#ifdef VELKIN_HAS_DEATH_CALLBACK
    __sanitizer_set_death_callback(writeArtifact);
#endif
    std::signal(SIGABRT, onSignal);
    std::signal(SIGSEGV, onSignal);
    std::signal(SIGFPE, onSignal);

    std::vector<Bytes> corpus;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        run(b, prefix);
        corpus.push_back(std::move(b));
    }
    std::printf("Replayed %zu inputs\n", corpus.size());

    // Given only files and no run count, replaying them is the whole job (as libFuzzer does).
    if (runs < 0)
        runs = seconds > 0 ? std::numeric_limits<long long>::max() : 0;
    Mutator mutator(seed, maxLength);
    const auto start = std::chrono::steady_clock::now();
    long long done = 0;
    for (; done < runs; ++done) {
        if (seconds > 0 && (done & 15) == 0
            && std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= seconds)
            break;
        run(mutator.mutate(corpus), prefix);
    }
    std::printf("Done %lld runs (seed %u)\n", done, seed);
    return 0;
}
