#pragma once

#include <cstdint>
#include <memory>

#include "audio/MappedFile.h"

namespace audio {

// A range of mapped file bytes. end is the end of the whole view serving the
// request, so a block may reach past the requested size, or (for very large
// requests) stop before it: callers use end - begin and ask again for the rest.
struct FileBlock {
    std::uint8_t* begin = nullptr;
    std::uint8_t* end = nullptr;
    std::uint64_t offset = 0;      // file offset of begin
    mapped_file::ViewHandle view;  // keeps the view mapped while the block is used

    std::uint64_t size() const { return static_cast<std::uint64_t>(end - begin); }
};

// Block access to a mapped file: a base view from offset 0 that keeps the
// header region mapped, and a moving view for everything further out.
// Thread: one at a time.
class file_buffer {
  public:
    static constexpr std::uint64_t kWholeFileLimit = 0x200000;  // smaller files are mapped whole
    static constexpr std::uint64_t kViewSize = 0x80000;         // 512 KiB: base and minimum view
    static constexpr std::uint64_t kHeaderRegion = 0x40000;     // requests below are served from 0

    explicit file_buffer(std::unique_ptr<mapped_file::MappedFile> file);
    ~file_buffer();
    file_buffer(const file_buffer&) = delete;
    file_buffer& operator=(const file_buffer&) = delete;

    // Covers [offset, offset + size); raises std::out_of_range
    // "file_buffer::get_block" when the range is not inside the file.
    FileBlock get_block(std::uint64_t offset, std::uint64_t size);
    // get_block with the smaller of 512 KiB and what is left of the file.
    FileBlock readAheadBlock(std::uint64_t offset);

    std::uint64_t fileSize() const { return file_->fileSize(); }
    mapped_file::MappedFile& file() { return *file_; }
    // The output file being written; nullptr when the buffer reads an InputFile.
    mapped_file::OutputFile* outputFile();

  private:
    FileBlock serve(const mapped_file::ViewHandle& view, std::uint64_t offset) const;
    mapped_file::ViewHandle newView(std::uint64_t start, std::uint64_t length);
    static bool reaches(const mapped_file::ViewHandle& view, std::uint64_t offset, std::uint64_t end);

    std::unique_ptr<mapped_file::MappedFile> file_;
    mapped_file::ViewHandle base_;
    mapped_file::ViewHandle moving_;
};

}  // namespace audio
