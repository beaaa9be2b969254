#include "audio/FileBuffer.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>

#include "tests/audio/TestFiles.h"

namespace audio {
namespace {

using test::thrown;

constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kMiB = 1024 * kKiB;

// A file whose every byte tells where it is: byte i holds (i * 7 + i / 251) mod
// 256.
std::uint8_t patternAt(std::uint64_t i) {
    return static_cast<std::uint8_t>(i * 7 + i / 251);
}

class FileBufferTest : public ::testing::Test {
  protected:
    std::string patternFile(std::uint64_t size) const {
        test::Bytes bytes(size);
        for (std::uint64_t i = 0; i < size; ++i)
            bytes[i] = patternAt(i);
        const std::string path = dir_ + "/pattern" + std::to_string(size);
        test::writeFile(path, bytes);
        return path;
    }
    static file_buffer input(const std::string& path) {
        return file_buffer(std::make_unique<mapped_file::InputFile>(path));
    }
    static file_buffer output(const std::string& path) {
        return file_buffer(std::make_unique<mapped_file::OutputFile>(path));
    }

    std::string dir_ = test::scratchDir();
};

TEST_F(FileBufferTest, SmallFileIsOneViewBlocksOutsideItAreRefusedAndLargeFilesHaveBaseAndMovingViews) {
    file_buffer buffer = input(patternFile(kMiB));
    const FileBlock first = buffer.get_block(0, 16);
    const FileBlock middle = buffer.get_block(700 * kKiB, 100 * kKiB);
    const FileBlock end = buffer.readAheadBlock(kMiB - 100);
    EXPECT_EQ(std::tuple(first.view.get(), end.view.get(), first.view->length),
              std::tuple(middle.view.get(), middle.view.get(), kMiB));
    EXPECT_EQ(std::tuple(middle.offset, *middle.begin, end.size()),
              std::tuple(700 * kKiB, patternAt(700 * kKiB), 100u));
    const FileBlock last = buffer.get_block(kMiB - 10, 10);
    EXPECT_EQ(std::tuple(last.offset, last.size(), *last.begin),
              std::tuple(kMiB - 10, 10u, patternAt(kMiB - 10)));
    for (const auto& [offset, size] :
         {std::pair(kMiB, std::uint64_t{0}), {kMiB, 1}, {kMiB - 10, 11}, {1, ~std::uint64_t{0}}})
        EXPECT_THROW(buffer.get_block(offset, size), std::out_of_range) << offset << " + " << size;
    // A large file, each case on a buffer of its own.
    const std::string path = patternFile(10 * kMiB);
    // Inside the 512 KiB base view: served from there. Past it, a moving view
    // starts one unit before the aligned request, and serves what follows.
    file_buffer moving = input(path);
    EXPECT_EQ(moving.get_block(300 * kKiB, 10 * kKiB).view->offset, 0u);
    const FileBlock block = moving.get_block(300 * kKiB, 300 * kKiB);
    EXPECT_EQ(std::tuple(block.view->offset, block.offset, *block.begin, block.begin[5000]),
              std::tuple(192 * kKiB, 300 * kKiB, patternAt(300 * kKiB), patternAt(300 * kKiB + 5000)));
    EXPECT_GE(block.view->length, 512 * kKiB);
    EXPECT_EQ(moving.get_block(600 * kKiB, 100).view.get(), block.view.get());
    // Past the base view but starting below 256 KiB: a new view from 0 replaces
    // the base.
    file_buffer header = input(path);
    const FileBlock base = header.get_block(0, 4);
    EXPECT_EQ(std::tuple(base.view->offset, base.view->length), std::tuple(0u, 512 * kKiB));
    const FileBlock wide = header.get_block(200 * kKiB, 400 * kKiB);
    EXPECT_EQ(std::tuple(wide.view->offset, wide.offset), std::tuple(0u, 200 * kKiB));
    EXPECT_GE(wide.size(), 400 * kKiB);
    EXPECT_EQ(header.get_block(10, 10).view.get(), wide.view.get());
    // Large requests may end before their end.
    const FileBlock large = input(path).get_block(kMiB, 2 * kMiB);
    EXPECT_EQ(std::tuple(large.view->offset, large.offset + large.size()),
              std::tuple(kMiB - 64 * kKiB, 3 * kMiB - 64 * kKiB));
    // The view runs to the end when little would be left.
    file_buffer tail = input(path);
    const FileBlock toEnd = tail.get_block(9 * kMiB + 128 * kKiB, 100);
    EXPECT_EQ(std::tuple(toEnd.view->offset, toEnd.view->offset + toEnd.view->length, toEnd.end[-1]),
              std::tuple(9 * kMiB + 64 * kKiB, 10 * kMiB, patternAt(10 * kMiB - 1)));
    EXPECT_EQ(tail.readAheadBlock(10 * kMiB - 10).size(), 10u);
}

TEST_F(FileBufferTest, ViewsToTheEndMustFitThirtyOneBitsAndOpenFailuresCarryTheSystemText) {
    const std::string path = dir_ + "/sparse.bin";
    test::writeFile(path, {});
    std::filesystem::resize_file(path, 3 * 1024 * kMiB);  // sparse
    mapped_file::InputFile file(path);
    EXPECT_EQ(thrown<std::out_of_range>([&] { file.mapView(0, mapped_file::kToEnd, false); }),
              "File too big for a single view");
    // The buffer itself maps only 512 KiB at the start and reads far out.
    EXPECT_EQ(*input(path).get_block(3 * 1024 * kMiB - 1, 1).begin, 0);
    const auto openError = [](const std::string& path) {
        return thrown<std::runtime_error>([&] { mapped_file::InputFile file(path); });
    };
    // (A missing file, a folder and an output in a missing folder are refused
    // through the command line.) A named pipe is refused at once rather than
    // waited on.
    ASSERT_EQ(mkfifo((dir_ + "/pipe.wav").c_str(), 0600), 0);
    EXPECT_EQ(openError(dir_ + "/pipe.wav"), "Not a regular file");
    // Root reads every file: look at it as an ordinary user for the open.
    const std::string unreadable = patternFile(100);
    ASSERT_EQ(chmod(unreadable.c_str(), 0), 0);
    const bool asRoot = geteuid() == 0;
    ASSERT_TRUE(!asRoot || seteuid(65534) == 0);  // nobody
    const std::string error = openError(unreadable);
    ASSERT_TRUE(!asRoot || seteuid(0) == 0);
    EXPECT_EQ(error, "Permission denied");
}

// A file that cannot grow (here: past the process's file size limit, as on a
// full disk) fails with the mapping error and keeps its previous extent; the
// limit's signal does not end the process.
TEST_F(FileBufferTest, OutputFilesGrowInWholeUnitsAreCutOnCloseAndKeepTheirMappingWhenGrowthFails) {
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    ASSERT_NE(std::signal(SIGXFSZ, SIG_DFL), SIG_ERR);
    rlimit limited = saved;
    limited.rlim_cur = 2 * kMiB;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const std::string path = dir_ + "/capped.wav";
    {
        file_buffer buffer = output(path);
        EXPECT_EQ(thrown<std::runtime_error>([&] { buffer.outputFile()->resize(4 * kMiB); }),
                  "OutputFile: Could not create file mapping object");
        EXPECT_EQ(buffer.fileSize(), kMiB);
        buffer.get_block(kMiB - 1, 1).begin[0] = 7;
        buffer.outputFile()->resize(1000);
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(std::filesystem::file_size(path), 1000u);
    // An existing file keeps its length without a resize, and grows in units of
    // 64 KiB.
    const std::string existing = patternFile(3 * kMiB + 5);
    {
        file_buffer buffer = output(existing);
        EXPECT_EQ(buffer.fileSize(), 3 * kMiB + 5);
        buffer.get_block(3 * kMiB, 5).begin[4] = 0xAB;
    }
    EXPECT_EQ(std::tuple(std::filesystem::file_size(existing), test::readFile(existing).back()),
              std::tuple(3 * kMiB + 5, 0xAB));
    {
        file_buffer buffer = output(existing);
        buffer.outputFile()->resize(4 * kMiB + 1);
        EXPECT_EQ(buffer.fileSize(), 4 * kMiB + 64 * kKiB);
        buffer.get_block(4 * kMiB, 1).begin[0] = 0xCD;
    }
    const test::Bytes bytes = test::readFile(existing);
    EXPECT_EQ(std::tuple(bytes.size(), bytes.back(), bytes[12345]),
              std::tuple(4 * kMiB + 1, 0xCD, patternAt(12345)));
}

}  // namespace
}  // namespace audio
