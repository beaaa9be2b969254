#include "platform/SystemMemory.h"

#include <sys/sysinfo.h>

#include <fstream>
#include <sstream>
#include <string>

namespace platform {

namespace {

constexpr uint64_t kBytesPerKiB = 1024;

std::optional<PhysicalMemory> fromProcMeminfo() {
    std::ifstream file("/proc/meminfo");
    if (!file)
        return std::nullopt;
    std::optional<uint64_t> total;
    std::optional<uint64_t> available;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string key;
        uint64_t kib = 0;
        if (!(fields >> key >> kib))
            continue;
        if (key == "MemTotal:")
            total = kib * kBytesPerKiB;
        else if (key == "MemAvailable:")
            available = kib * kBytesPerKiB;
    }
    if (!total || !available)
        return std::nullopt;
    return PhysicalMemory{*total, *available};
}

std::optional<PhysicalMemory> fromSysinfo() {
    struct sysinfo info {};
    if (sysinfo(&info) != 0)
        return std::nullopt;
    const uint64_t unit = info.mem_unit;
    return PhysicalMemory{info.totalram * unit, (info.freeram + info.bufferram) * unit};
}

}  // namespace

std::optional<PhysicalMemory> queryPhysicalMemory() {
    if (auto memory = fromProcMeminfo())
        return memory;
    return fromSysinfo();
}

}  // namespace platform
