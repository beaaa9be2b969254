#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/Commands.h"
#include "tests/audio/TestFiles.h"

extern char** environ;

namespace apptest {

namespace fs = std::filesystem;

constexpr std::size_t kWavHeaderBytes = 44;

// Runs the sub-command `name` with the arguments, as main does; UsageError escapes.
inline int run(const std::string& name, const std::vector<std::string>& args) {
    for (const auto& command : app::commands())
        if (name == command.name)
            return command.run(app::Args(args));
    ADD_FAILURE() << "no command " << name;
    return -1;
}

// A fresh, empty folder for the running test.
inline fs::path scratch() {
    return audio::test::scratchDir();
}

inline std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The float samples of a WAV file with the 44-byte header the recorder writes, whose data size it checks.
inline std::vector<float> wavSamples(const fs::path& path) {
    const audio::test::Bytes bytes = audio::test::readFile(path);
    EXPECT_GE(bytes.size(), kWavHeaderBytes) << path << " holds no header";
    if (bytes.size() < kWavHeaderBytes)
        return {};
    EXPECT_EQ(audio::test::le32At(bytes, 40), bytes.size() - kWavHeaderBytes) << path;
    std::vector<float> samples((bytes.size() - kWavHeaderBytes) / sizeof(float));
    std::memcpy(samples.data(), bytes.data() + kWavHeaderBytes, samples.size() * sizeof(float));
    return samples;
}

// Starts `args` (looked up on PATH) with stdout and stderr into files; -1 when it cannot start.
inline pid_t spawn(std::vector<std::string> args, const fs::path& out, const fs::path& err) {
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

}  // namespace apptest
