#include "output/RecordingNames.h"

#include <cstdio>

namespace output {

namespace {

constexpr int32_t kDefaultMaxCount = 99;
constexpr int32_t kSmallestMaxCount = 2;
constexpr size_t kExtensionLength = 3;  // "wav"
constexpr size_t kNameCapacity = 32;

std::string withoutExtension(const std::string& basePath) {
    return basePath.size() < kExtensionLength ? std::string()
                                              : basePath.substr(0, basePath.size() - kExtensionLength);
}

}  // namespace

std::string recordingName(bool numbering, int32_t counter) {
    if (!numbering)
        return "fizz.wav";
    char name[kNameCapacity];
    std::snprintf(name, sizeof name, "fizz%02d.wav", static_cast<int>(counter));
    return name;
}

int32_t nextRecordingCounter(int32_t counter, int32_t maxCount) {
    const int64_t next = static_cast<int64_t>(counter) + 1;
    return next > usableMaxCount(maxCount) ? 0 : static_cast<int32_t>(next);
}

int32_t usableMaxCount(int32_t stored) {
    return stored < kSmallestMaxCount ? kDefaultMaxCount : stored;
}

std::string recordingPath(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string streamRecordingPath(const std::string& basePath, int streamNumber) {
    return withoutExtension(basePath) + std::to_string(streamNumber) + ".wav";
}

std::string addedStreamRecordingPath(const std::string& basePath, int streamNumber,
                                     int64_t framesSinceStart) {
    return withoutExtension(basePath) + std::to_string(streamNumber) + "_(" +
           std::to_string(framesSinceStart) + ").wav";
}

}  // namespace output
