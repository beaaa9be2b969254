#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Files read and written through POSIX memory mappings. A "mapping" here is
// the extent of the file the views may cover; creating one larger than the
// file grows the file, as output files need.
namespace mapped_file {

inline constexpr std::uint64_t kNotSet = ~std::uint64_t{0};
inline constexpr std::uint64_t kToEnd = ~std::uint64_t{0};

// The unit view offsets are aligned to (a fixed 64 KiB, a multiple of the page size).
std::uint64_t allocationGranularity();

enum class Access { Read, ReadWrite };

struct OpenMode {
    Access access;
    bool shareRead;        // other processes may read meanwhile
    bool createIfMissing;  // open always (never truncates on open)
    bool writableMapping;  // page protection of the mapping
    bool writableViews;    // access of the views
};

inline constexpr OpenMode kReadMode{Access::Read, true, false, false, false};
inline constexpr OpenMode kWriteMode{Access::ReadWrite, true, true, true, true};

// One mapped view; unmapped when the last handle to it goes.
struct MappedView {
    std::uint8_t* data = nullptr;
    std::uint64_t offset = 0;  // file offset of data, a multiple of the granularity
    std::uint64_t length = 0;

    MappedView(std::uint8_t* data, std::uint64_t offset, std::uint64_t length)
        : data(data), offset(offset), length(length) {}
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;
    ~MappedView();
};

using ViewHandle = std::shared_ptr<MappedView>;

// Deleter for a handle that must not release the view it refers to.
struct null_deleter {
    void operator()(const void*) const {}
};

// The common part of InputFile and OutputFile. Thread: one at a time.
class MappedFile {
  public:
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    virtual ~MappedFile();

    const OpenMode& mode() const { return mode_; }
    std::uint64_t fileSize() const { return fileSize_; }
    bool isOpen() const { return fd_ >= 0; }

    // Maps [offset, offset + length) rounded down to the granularity; kToEnd
    // maps to the end of the file. Raises std::out_of_range "File too big for a
    // single view" or std::runtime_error "Could not map view of file: ...".
    ViewHandle mapView(std::uint64_t offset, std::uint64_t length, bool writable);

  protected:
    MappedFile(const std::string& path, const OpenMode& mode);
    void readFileSize();
    void close();

    OpenMode mode_;
    int fd_ = -1;
    std::uint64_t fileSize_ = 0;
};

// A sound file opened for reading, mapped whole and read-only.
class InputFile : public MappedFile {
  public:
    explicit InputFile(const std::string& path);
};

// An output file: created when missing, never truncated on open, grown by
// resize and cut to its logical size when closed.
class OutputFile : public MappedFile {
  public:
    explicit OutputFile(const std::string& path);
    ~OutputFile() override;

    // Grows the file to at least newSize (rounded up to the granularity) and
    // makes newSize the size the file is cut to on close.
    void resize(std::uint64_t newSize);
    // Cuts the file to its logical size (when set and smaller) and closes it.
    // Every view must be gone first.
    void closeFile();

    std::uint64_t logicalSize() const { return logicalSize_; }

  private:
    void createMapping(std::uint64_t requestedSize);

    std::uint64_t logicalSize_ = kNotSet;
};

}  // namespace mapped_file
