// The command-line export. The executable links this file and what it needs
// (the page, the document reading and writing layers) but none of the
// windows' code, so an HTML export loads no widget or window-system library.
#include "app/CommandLine.h"

#include "app/MarkdownDocument.h"
#include "export/Export.h"
#include "export/OutputBudget.h"
#include "platform/BackgroundThreads.h"
#include "platform/FilePath.h"
#include "platform/MachineMemory.h"
#include "platform/text/Utf.h"
#include "platform/url/Url.h"

#include <QCoreApplication>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>

#include <sys/stat.h>
#include <unistd.h>

namespace velkin::CommandLine {

void message(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

bool has(const std::vector<std::string>& arguments, const char* flag)
{
    return std::find(arguments.begin(), arguments.end(), flag) != arguments.end();
}

int optionWithOperands(const std::vector<std::string>& arguments, const char* option)
{
    auto it = std::find(arguments.begin(), arguments.end(), option);
    if (it == arguments.end())
        return -1;
    const auto i = static_cast<size_t>(it - arguments.begin());
    return i + 2 < arguments.size() ? static_cast<int>(i) : -1;
}

size_t optionsEnd(const std::vector<std::string>& arguments)
{
    bool seen[3] = {false, false, false};
    static const char* const modes[3] = {"--render", "--export", "--appstore"};
    for (size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--")
            return i;
        // The two operands after a mode's first occurrence are its own, whatever they spell.
        for (int m = 0; m < 3; ++m)
            if (arguments[i] == modes[m] && !seen[m]) {
                seen[m] = true;
                if (i + 2 < arguments.size())
                    i += 2;
                break;
            }
    }
    return arguments.size();
}

std::vector<std::string> options(const std::vector<std::string>& arguments)
{
    return std::vector<std::string>(arguments.begin(), arguments.begin() + long(optionsEnd(arguments)));
}

bool prepareEnvironment()
{
    bool withoutDisplay = false;
    // Batch modes must run on machines without a display.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr
        && std::getenv("WAYLAND_DISPLAY") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        withoutDisplay = true;
    }
    // Past a file-size limit (ulimit -f) the system would end the process with
    // SIGXFSZ and no word; ignored, the write fails and is reported like any other.
    std::signal(SIGXFSZ, SIG_IGN);
    if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
        // A private runtime folder keeps Qt from warning on machines without a session.
        const std::string runtime = "/tmp/velkin-runtime-" + std::to_string(getuid());
        mkdir(runtime.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    return withoutDisplay;
}

bool exportsHTMLOnly(const std::vector<std::string>& all)
{
    const std::vector<std::string> arguments = options(all);
    // The modes that come before the export in the dispatch.
    if (has(arguments, "--selftest") || optionWithOperands(arguments, "--render") >= 0)
        return false;
    const int j = optionWithOperands(arguments, "--export");
    if (j < 0)
        return false;
    const std::optional<ExportFormat> format = ExportFormat::named(Url::fileURL(arguments[size_t(j) + 2]).pathExtension());
    return format && *format == ExportFormat::html;
}

std::optional<std::string> memoryRefusal(const std::string& in, OutputBudget::Output output)
{
    struct stat source {};
    if (::stat(in.c_str(), &source) != 0 || !S_ISREG(source.st_mode))
        return std::nullopt;  // the reading will report on it
    const std::optional<std::string> refusal =
        OutputBudget::refusal(output, uint64_t(source.st_size), MachineMemory::available());
#if !defined(__SANITIZE_ADDRESS__)
    // (The sanitizer's allocator maps its own memory, past any such limit.)
    if (!refusal)
        MachineMemory::capData();
#endif
    return refusal;
}

namespace {

OutputBudget::Output outputOf(ExportFormat format)
{
    switch (format.value()) {
    case ExportFormat::pdf: return OutputBudget::Output::pdf;
    case ExportFormat::html: return OutputBudget::Output::html;
    case ExportFormat::rtf: return OutputBudget::Output::rtf;
    }
    return OutputBudget::Output::pdf;
}

int exportChecked(const std::vector<std::string>& arguments, const std::string& in, const std::string& out,
                  ExportFormat format);

} // namespace

int exportMode(const std::vector<std::string>& arguments, const std::string& in, const std::string& out)
{
    const Url target = Url::fileURL(out);
    const std::string extension = target.pathExtension();
    const std::optional<ExportFormat> format = ExportFormat::named(extension);
    if (!format) {
        message("Unknown export format: ." + extension);
        return 1;
    }
    if (const auto refusal = Export::outputRefusal(in, out)) {
        message("Export failed: " + *refusal);
        return 1;
    }
    if (const auto refusal = memoryRefusal(in, outputOf(*format))) {
        message("Export failed: " + *refusal);
        return 1;
    }
    try {
        return exportChecked(arguments, in, out, *format);
    } catch (const std::bad_alloc&) {
        // What was written so far went with its temporary file.
        message("Export failed: not enough memory");
        return 1;
    }
}

namespace {

int exportChecked(const std::vector<std::string>& arguments, const std::string& in, const std::string& out,
                  ExportFormat format)
{
    std::string error;
    const std::optional<MarkdownDocument> document = MarkdownDocument::readUnattended(in, &error);
    if (!document) {
        message("Export failed: " + error);
        return 1;
    }
    const Url source = Url::fileURL(in);
    MarkdownHTML::Options options;
    options.title = u16(source.deletingPathExtension().lastPathComponent());
    options.family = has(arguments, "--serif")       ? MarkdownFontFamily::serif
                     : has(arguments, "--monospace") ? MarkdownFontFamily::monospace
                                                     : MarkdownFontFamily::sansSerif;
    // Pictures beside the input are where the system finds its folder.
    options.baseURL = Url::fileURL(FilePath::resolvedFolder(in).string());
    options.embedsImages = true;
    std::string notice;
    // OUT is written as given: its name as bytes, its ".." and links left to the system.
    if (const auto failure = Export::write(document->text, out, format, options, &notice)) {
        message("Export failed: " + *failure);
        return 1;
    }
    if (!notice.empty())
        message(notice);
    message("Wrote " + Url::fileURL(out).path());
    return 0;
}

} // namespace

int exportHTML(int argc, char** argv)
{
    BackgroundThreads::awaitToolkitThreadsAtExit();
    prepareEnvironment();
    const std::vector<std::string> arguments = options(std::vector<std::string>(argv, argv + argc));
    // An HTML export draws nothing: it needs no window system, whose start-up
    // would cost more than the export of a long document.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("Velkin");
    // Qt takes the numeric locale from the environment; our number formatting expects C.
    std::setlocale(LC_NUMERIC, "C");
    const int j = optionWithOperands(arguments, "--export");
    return exportMode(arguments, arguments[size_t(j) + 1], arguments[size_t(j) + 2]);
}

} // namespace velkin::CommandLine
