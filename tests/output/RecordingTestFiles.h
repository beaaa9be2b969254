#pragma once

// Reading back what the recorder wrote, byte by byte.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace output::testing {

inline std::filesystem::path recordingScratch(const std::string& name) {
    const std::filesystem::path dir = std::filesystem::path(FRISSON_TEST_TMP) / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline uint32_t le32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<uint8_t>(bytes.at(at + static_cast<size_t>(i)));
    return value;
}

inline uint16_t le16(const std::string& bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes.at(at)) |
                                 (static_cast<uint8_t>(bytes.at(at + 1)) << 8));
}

inline int16_t sample16(const std::string& bytes, size_t index) {
    return static_cast<int16_t>(le16(bytes, 44 + 2 * index));
}

inline float sampleFloat(const std::string& bytes, size_t index) {
    const uint32_t word = le32(bytes, 44 + 4 * index);
    float value = 0;
    std::memcpy(&value, &word, sizeof value);
    return value;
}

}  // namespace output::testing
