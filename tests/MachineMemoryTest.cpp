// What memory the process may come to hold, under the limits set on it. Each
// case runs in a child process, whose limits stay its own.
#include "platform/MachineMemory.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace velkin;

namespace {

// Runs `check` in a child process; true when every expectation held there.
template<typename Check>
bool inChild(Check check)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(check() ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

constexpr uint64_t MB = uint64_t(1) << 20;

} // namespace

TEST(MachineMemory, LimitsLowerWhatIsAvailableAndTheCapNeverRaisesOne)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory counts against the data limit";
#else
    EXPECT_LE(MachineMemory::available(), MachineMemory::physical());
    EXPECT_GT(MachineMemory::available(), 64 * MB);
    // A data limit: what is private and resident now stays within it.
    EXPECT_TRUE(inChild([] {
        rlimit data{};
        getrlimit(RLIMIT_DATA, &data);
        data.rlim_cur = rlim_t(8192 * MB);
        setrlimit(RLIMIT_DATA, &data);
        const uint64_t available = MachineMemory::available();
        MachineMemory::capData();
        getrlimit(RLIMIT_DATA, &data);
        return available <= 8192 * MB && data.rlim_cur <= 8192 * MB;
    }));
    // An address-space limit leaves out what the process has mapped and does not hold.
    EXPECT_TRUE(inChild([] {
        rlimit space{};
        getrlimit(RLIMIT_AS, &space);
        space.rlim_cur = rlim_t(8192 * MB);
        setrlimit(RLIMIT_AS, &space);
        return MachineMemory::available() <= 8192 * MB;
    }));
    // Without a lower limit the cap is the machine's memory (and what is private and not resident now).
    EXPECT_TRUE(inChild([] {
        rlimit data{RLIM_INFINITY, RLIM_INFINITY};
        getrlimit(RLIMIT_DATA, &data);
        if (data.rlim_cur != RLIM_INFINITY && data.rlim_cur < MachineMemory::physical())
            return true;
        MachineMemory::capData();
        getrlimit(RLIMIT_DATA, &data);
        return data.rlim_cur != RLIM_INFINITY && data.rlim_cur >= MachineMemory::physical();
    }));
#endif
}
