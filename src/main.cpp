// The executable: the HTML export runs here; the windows, the other modes and
// the self-test are in the windows' library, loaded only for them, so that an
// export does not load the widget stack.
#include "app/CommandLine.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The windows' library: beside the program in the build tree, in the private
// library folder next to its bin folder once installed.
fs::path windowsLibrary()
{
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    const fs::path folder = ec ? fs::path(".") : program.parent_path();
    const fs::path built = folder / VELKIN_GUI_LIBRARY;
    if (fs::exists(built, ec))
        return built;
    return folder / ".." / VELKIN_GUI_LIBRARY;
}

int runWindows(int argc, char** argv)
{
    const fs::path library = windowsLibrary();
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    using Entry = int (*)(int, char**);
    Entry entry = handle ? reinterpret_cast<Entry>(dlsym(handle, "velkin_gui_main")) : nullptr;
    if (!entry) {
        std::fprintf(stderr, "Velkin could not load its windows' library %s: %s\n", library.c_str(), dlerror());
        return 1;
    }
    return entry(argc, argv);
}

} // namespace

int main(int argc, char** argv)
{
    if (velkin::CommandLine::exportsHTMLOnly(std::vector<std::string>(argv, argv + argc)))
        return velkin::CommandLine::exportHTML(argc, argv);
    return runWindows(argc, argv);
}
