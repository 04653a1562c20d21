#include "platform/MachineMemory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>

namespace velkin::MachineMemory {

namespace {

// A number of bytes from a control-group file; nothing for "max" or no file.
uint64_t limitIn(const std::string& file)
{
    std::ifstream in(file);
    unsigned long long value = 0;
    if (!(in >> value))
        return UINT64_MAX;
    return value;
}

// The least memory limit of the process's control group and the groups above
// it, in both kinds of the control-group file system.
uint64_t controlGroupLimit()
{
    std::ifstream groups("/proc/self/cgroup");
    uint64_t least = UINT64_MAX;
    for (std::string line; std::getline(groups, line);) {
        const size_t first = line.find(':');
        const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos)
            continue;
        const std::string controllers = "," + line.substr(first + 1, second - first - 1) + ",";
        std::string path = line.substr(second + 1);
        std::string base;
        std::string name;
        if (controllers == ",,") {
            base = "/sys/fs/cgroup";
            name = "/memory.max";
        } else if (controllers.find(",memory,") != std::string::npos) {
            base = "/sys/fs/cgroup/memory";
            name = "/memory.limit_in_bytes";
        } else {
            continue;
        }
        for (;;) {
            least = std::min(least, limitIn(base + (path == "/" ? "" : path) + name));
            const size_t slash = path.rfind('/');
            if (path.empty() || path == "/" || slash == std::string::npos)
                break;
            path = slash == 0 ? "/" : path.substr(0, slash);
        }
    }
    return least;
}

// The process's size now, in bytes: all its mappings, its private data and
// stack, and what of it is resident.
struct Size {
    uint64_t mapped = 0;
    uint64_t data = 0;
    uint64_t resident = 0;
};

Size sizeNow()
{
    std::ifstream statm("/proc/self/statm");
    unsigned long long mapped = 0, resident = 0, shared = 0, text = 0, library = 0, data = 0;
    statm >> mapped >> resident >> shared >> text >> library >> data;
    const uint64_t page = uint64_t(sysconf(_SC_PAGESIZE));
    return {mapped * page, data * page, resident * page};
}

// What a limit on `counted` leaves for resident memory: the limit less what
// it counts now that holds no memory.
uint64_t leftBy(int resource, uint64_t counted, uint64_t resident)
{
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return UINT64_MAX;
    const uint64_t idle = counted > resident ? counted - resident : 0;
    return limit.rlim_cur > idle ? limit.rlim_cur - idle : 0;
}

} // namespace

uint64_t physical()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page = sysconf(_SC_PAGESIZE);
    return pages > 0 && page > 0 ? uint64_t(pages) * uint64_t(page) : UINT64_MAX;
}

uint64_t available()
{
    const Size size = sizeNow();
    return std::min({physical(), controlGroupLimit(), leftBy(RLIMIT_AS, size.mapped, size.resident),
                     leftBy(RLIMIT_DATA, size.data, size.resident)});
}

uint64_t atHand()
{
    const uint64_t all = available();
    const uint64_t held = sizeNow().resident;
    return all > held ? all - held : 0;
}

void capData()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_DATA, &limit) != 0)
        return;
    const Size size = sizeNow();
    // What is private now and not resident stays counted on top.
    const uint64_t idle = size.data > size.resident ? size.data - size.resident : 0;
    const uint64_t cap = std::min(physical(), controlGroupLimit());
    if (cap == UINT64_MAX || cap > UINT64_MAX - idle)
        return;
    const rlim_t wanted = rlim_t(cap + idle);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= wanted)
        return;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < wanted)
        return;
    limit.rlim_cur = wanted;
    setrlimit(RLIMIT_DATA, &limit);
}

} // namespace velkin::MachineMemory
