#pragma once

#include <cstdint>
#include <optional>

namespace platform {

struct PhysicalMemory {
    uint64_t totalBytes = 0;
    uint64_t availableBytes = 0;
};

// The machine's physical memory: MemTotal and MemAvailable of /proc/meminfo,
// or sysinfo's figures when that file cannot be read. Nothing when neither
// source answers. Thread: any.
std::optional<PhysicalMemory> queryPhysicalMemory();

}  // namespace platform
