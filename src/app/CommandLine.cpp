#include "app/CommandLine.h"

#include "app/MarkdownDocument.h"
#include "app/VelkinApp.h"
#include "platform/BackgroundThreads.h"
#include "platform/FilePath.h"
#include "platform/LargeAllocations.h"
#include "export/AppStoreShot.h"
#include "export/Export.h"
#include "export/PreviewRendererPage.h"
#include "platform/url/Url.h"

#include <QApplication>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <new>

namespace velkin::CommandLine {

namespace {

// Set when the offscreen platform was chosen because no display is available.
bool startedWithoutDisplay = false;
// The arguments Qt left when it took its own options, as the bytes given; none when it never ran.
std::vector<std::string> leftByToolkit;

// --render IN OUT [--bare]: one PNG page image, framed in a drawn window unless bare.
int renderChecked(const std::vector<std::string>& arguments, const std::string& in, const std::string& out);

int renderMode(const std::vector<std::string>& arguments, const std::string& in, const std::string& out)
{
    if (const auto refusal = memoryRefusal(in, OutputBudget::Output::png)) {
        message("Render failed: " + *refusal);
        return 1;
    }
    try {
        return renderChecked(arguments, in, out);
    } catch (const std::bad_alloc&) {
        // What was written so far went with its temporary file.
        message("Render failed: not enough memory");
        return 1;
    }
}

int renderChecked(const std::vector<std::string>& arguments, const std::string& in, const std::string& out)
{
    // A missing or unreadable input is a failure, not an empty page; invalid UTF-8 is
    // repaired, and a file the window would ask about first is refused.
    std::string error;
    const std::optional<MarkdownDocument> document = MarkdownDocument::readUnattended(in, &error);
    if (!document) {
        message("Render failed: " + error);
        return 1;
    }
    if (const auto refusal = Export::outputRefusal(in, out)) {
        message("Render failed: " + *refusal);
        return 1;
    }
    const bool bare = has(arguments, "--bare");
    // Pictures are found beside the input where the system finds its folder; OUT is written as given.
    const Url source = Url::fileURL(FilePath::resolvedFolder(in).string());
    const bool ok = PreviewRenderer::renderPNG(
        document->text, out, bare ? 760 : 700, 14, source,
        bare ? std::nullopt : std::optional<std::string>(std::filesystem::path(in).filename().string()),
        bare ? std::nullopt : std::optional<double>(860), &error);
    // OUT made absolute from the working folder, as an export says it.
    message(ok ? "Wrote " + Url::fileURL(out).path() : "Render failed: " + error);
    return ok ? 0 : 1;
}

} // namespace

std::vector<std::string> documentArguments(const std::vector<std::string>& arguments)
{
    std::vector<std::string> files;
    const size_t end = optionsEnd(arguments);
    size_t skip = 0;  // operands of a mode option that had too few to run
    for (size_t i = 1; i < end; ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--render" || argument == "--export" || argument == "--appstore") {
            skip = 2;
            continue;
        }
        if (skip > 0) {
            --skip;
            continue;
        }
        if (argument != "--selftest" && argument != "--bare" && argument != "--serif" && argument != "--monospace")
            files.push_back(argument);
    }
    if (end < arguments.size())
        files.insert(files.end(), arguments.begin() + long(end) + 1, arguments.end());
    return files;
}

int dispatch(const std::vector<std::string>& all, SelfTestRunner selfTest)
{
    const std::vector<std::string> arguments = options(all);
    if (selfTest && has(arguments, "--selftest"))
        return selfTest() ? 0 : 1;
    if (const int i = optionWithOperands(arguments, "--render"); i >= 0)
        return renderMode(arguments, arguments[size_t(i) + 1], arguments[size_t(i) + 2]);
    if (const int j = optionWithOperands(arguments, "--export"); j >= 0)
        return exportMode(arguments, arguments[size_t(j) + 1], arguments[size_t(j) + 2]);
    if (const int k = optionWithOperands(arguments, "--appstore"); k >= 0)
        return AppStoreShot::renderAll(arguments[size_t(k) + 1], arguments[size_t(k) + 2]) ? 0 : 1;
    if (startedWithoutDisplay) {
        // Windows nobody can see would keep the process running for ever.
        message("Velkin: no display to open windows on (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                "Command-line modes:\n"
                "  velkin --selftest                           run the built-in self-test\n"
                "  velkin --render IN.md OUT.png [--bare]      render a page image\n"
                "  velkin --export IN.md OUT.html|pdf|rtf [--serif|--monospace]\n"
                "  velkin --appstore SAMPLES OUTDIR            render the store screenshots");
        return 0;
    }
    // Qt has taken its own options (such as -platform NAME) out of the application's arguments.
    VelkinApp::shared().run(documentArguments(leftByToolkit.empty() ? all : leftByToolkit));
    return 0;
}

int main(int argc, char** argv, SelfTestRunner selfTest)
{
    LargeAllocations::keepApart();
    BackgroundThreads::awaitToolkitThreadsAtExit();
    BackgroundThreads::keepToolkitPoolStarted();
    startedWithoutDisplay = prepareEnvironment();
    const std::vector<std::string> arguments(argv, argv + argc);
    // (An HTML export alone never comes here: the executable runs it without this library.)
    int status = 0;
    {
        // Qt takes its own options out of what it is given, never out of the file
        // names after "--"; what it leaves is kept as the bytes given (Qt's own copy
        // is decoded text, which a name that is not UTF-8 does not survive).
        const size_t end = optionsEnd(arguments);
        int toolkitArguments = int(end);
        QApplication app(toolkitArguments, argv);
        leftByToolkit.assign(argv, argv + toolkitArguments);
        leftByToolkit.insert(leftByToolkit.end(), arguments.begin() + long(end), arguments.end());
        QCoreApplication::setApplicationName("Velkin");
        // Qt takes the numeric locale from the environment; our number formatting expects C.
        std::setlocale(LC_NUMERIC, "C");
        status = dispatch(arguments, selfTest);
        BackgroundThreads::joinAll();
    }
    return status;
}

} // namespace velkin::CommandLine
