#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

// Files read and written in views: an output file through POSIX memory
// mappings (a "mapping" here is the extent of the file the views may cover;
// creating one larger than the file grows the file), an input file through
// views read into memory, so that another program cutting the file short
// meanwhile makes a read fail instead of raising SIGBUS.
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

// One view of a file: mapped memory, unmapped when the last handle to it
// goes, or a copy of the file's bytes read into memory.
struct MappedView {
    std::uint8_t* data = nullptr;
    std::uint64_t offset = 0;  // file offset of data, a multiple of the granularity
    std::uint64_t length = 0;

    MappedView(std::uint8_t* data, std::uint64_t offset, std::uint64_t length)
        : data(data), offset(offset), length(length) {}
    MappedView(std::unique_ptr<std::uint8_t[]> bytes, std::uint64_t offset, std::uint64_t length)
        : data(bytes.get()), offset(offset), length(length), copy_(std::move(bytes)) {}
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;
    ~MappedView();

  private:
    std::unique_ptr<std::uint8_t[]> copy_;  // null for a mapped view
};

// What a read of an input file reports when the file was cut short, grown or
// rewritten since it was opened.
inline constexpr const char* kFileChangedText = "the file changed while it was being read";

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
    // The view of [offset, offset + length), both inside the file.
    virtual ViewHandle makeView(std::uint64_t offset, std::uint64_t length, bool writable);

    OpenMode mode_;
    int fd_ = -1;
    std::uint64_t fileSize_ = 0;
    std::int64_t modifiedSeconds_ = 0;  // the file's modification time at the last size reading
    std::int64_t modifiedNanoseconds_ = 0;
};

// A sound file opened for reading. Its views are read into memory, and each
// read checks that the file still has the size and modification time it had
// when opened: a file cut short, grown or rewritten meanwhile raises
// std::runtime_error kFileChangedText, never a signal.
class InputFile : public MappedFile {
  public:
    explicit InputFile(const std::string& path);

  protected:
    ViewHandle makeView(std::uint64_t offset, std::uint64_t length, bool writable) override;
};

// An output file: created when missing, never truncated on open, grown by
// resize and cut to its logical size when closed. Under a file size limit
// (ulimit -f) a growth past it fails like one on a full disk: opening an
// output file has the process ignore SIGXFSZ, which would otherwise end it,
// unless the program handles that signal itself.
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
