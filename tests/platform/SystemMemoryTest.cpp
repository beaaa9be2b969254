#include "platform/SystemMemory.h"

#include <gtest/gtest.h>
#include <sys/sysinfo.h>

namespace platform {
namespace {

TEST(SystemMemory, ReportsTheMachinesPhysicalMemory) {
    auto memory = queryPhysicalMemory();
    ASSERT_TRUE(memory);
    struct sysinfo info {};
    ASSERT_EQ(sysinfo(&info), 0);
    const uint64_t total = static_cast<uint64_t>(info.totalram) * info.mem_unit;
    // /proc/meminfo and sysinfo count the same RAM, in kB and bytes.
    EXPECT_NEAR(static_cast<double>(memory->totalBytes), static_cast<double>(total), 1024.0 * 1024.0);
    EXPECT_GT(memory->availableBytes, 0u);
    EXPECT_LE(memory->availableBytes, memory->totalBytes);
}

}  // namespace
}  // namespace platform
