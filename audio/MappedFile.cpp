#include "audio/MappedFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace mapped_file {

namespace {

constexpr std::uint64_t kGranularity = 0x10000;        // 64 KiB
constexpr std::uint64_t kNewOutputMapping = 0x100000;  // an empty output file starts 1 MiB long
constexpr int kCreatePermissions = 0666;               // less the user's umask

std::string systemError(int error) {
    return std::strerror(error);
}

// Grows the file to size with real blocks where the file system allows, so a
// full disk fails here rather than as a fault when the mapped pages are written.
bool growFile(int fd, std::uint64_t from, std::uint64_t size) {
    const int result = posix_fallocate(fd, static_cast<off_t>(from), static_cast<off_t>(size - from));
    if (result == 0)
        return true;
    if (result != EOPNOTSUPP && result != EINVAL)
        return false;
    return ftruncate(fd, static_cast<off_t>(size)) == 0;
}

// SIGXFSZ, sent when a write or a growth would pass the file size limit, ends
// the process by default. Ignored, the growth fails with EFBIG and the writer
// closes the file with what it holds. A handler the program set stays.
void ignoreFileSizeSignal() {
    struct sigaction current {};
    if (sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGXFSZ, &ignore, nullptr);
    }
}

}  // namespace

std::uint64_t allocationGranularity() {
    static const std::uint64_t granularity = [] {
        const long page = sysconf(_SC_PAGESIZE);
        if (page <= 0 || kGranularity % static_cast<std::uint64_t>(page) != 0)
            throw std::runtime_error("page size does not divide the 64 KiB view granularity");
        return kGranularity;
    }();
    return granularity;
}

MappedView::~MappedView() {
    if (data && !copy_)
        munmap(data, length);
}

MappedFile::MappedFile(const std::string& path, const OpenMode& mode) : mode_(mode) {
    int flags = O_CLOEXEC | O_NONBLOCK;  // never wait on a FIFO
    flags |= mode.access == Access::ReadWrite ? O_RDWR : O_RDONLY;
    if (mode.createIfMissing)
        flags |= O_CREAT;
    fd_ = ::open(path.c_str(), flags, kCreatePermissions);
    if (fd_ < 0)
        throw std::runtime_error(systemError(errno));
    struct stat status {};
    if (fstat(fd_, &status) != 0) {
        close();
        throw std::runtime_error("Could not access mapped file");
    }
    if (!S_ISREG(status.st_mode)) {
        close();
        throw std::runtime_error(S_ISDIR(status.st_mode) ? systemError(EISDIR) : "Not a regular file");
    }
}

MappedFile::~MappedFile() {
    close();
}

void MappedFile::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void MappedFile::readFileSize() {
    struct stat status {};
    if (fstat(fd_, &status) != 0)
        throw std::runtime_error("Could not access mapped file");
    fileSize_ = static_cast<std::uint64_t>(status.st_size);
    modifiedSeconds_ = status.st_mtim.tv_sec;
    modifiedNanoseconds_ = status.st_mtim.tv_nsec;
}

ViewHandle MappedFile::mapView(std::uint64_t offset, std::uint64_t length, bool writable) {
    const std::uint64_t granularity = allocationGranularity();
    const std::uint64_t viewOffset = offset / granularity * granularity;
    const std::uint64_t available = fileSize_ > viewOffset ? fileSize_ - viewOffset : 0;
    if (length == kToEnd) {
        length = available;
        if (length > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
            throw std::out_of_range("File too big for a single view");
    } else if (length > available) {
        length = available;
    }
    if (length == 0)
        throw std::runtime_error("Could not map view of file: " + systemError(EINVAL));
    return makeView(viewOffset, length, writable);
}

ViewHandle MappedFile::makeView(std::uint64_t offset, std::uint64_t length, bool writable) {
    const int protection = writable ? PROT_READ | PROT_WRITE : PROT_READ;
    void* data = mmap(nullptr, length, protection, MAP_SHARED, fd_, static_cast<off_t>(offset));
    if (data == MAP_FAILED)
        throw std::runtime_error("Could not map view of file: " + systemError(errno));
    return std::make_shared<MappedView>(static_cast<std::uint8_t*>(data), offset, length);
}

InputFile::InputFile(const std::string& path) : MappedFile(path, kReadMode) {
    readFileSize();  // views are read straight from the file descriptor
}

// A mapped page of a file that another program has cut short raises SIGBUS
// when touched; a read into memory instead ends early, and the size and time
// taken afterwards tell whether what was read still belongs to the file opened.
ViewHandle InputFile::makeView(std::uint64_t offset, std::uint64_t length, bool /*writable*/) {
    std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[length]);
    std::uint64_t done = 0;
    while (done < length) {
        const ssize_t got = pread(fd_, bytes.get() + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw std::runtime_error("Could not map view of file: " + systemError(errno));
        if (got == 0)
            throw std::runtime_error(kFileChangedText);
        done += static_cast<std::uint64_t>(got);
    }
    struct stat status {};
    if (fstat(fd_, &status) != 0)
        throw std::runtime_error("Could not access mapped file");
    if (static_cast<std::uint64_t>(status.st_size) != fileSize_ ||
        status.st_mtim.tv_sec != modifiedSeconds_ || status.st_mtim.tv_nsec != modifiedNanoseconds_)
        throw std::runtime_error(kFileChangedText);
    return std::make_shared<MappedView>(std::move(bytes), offset, length);
}

OutputFile::OutputFile(const std::string& path) : MappedFile(path, kWriteMode) {
    ignoreFileSizeSignal();
    readFileSize();
    createMapping(kNotSet);
}

OutputFile::~OutputFile() {
    try {
        closeFile();
    } catch (...) {
        // A destructor cannot report; closeFile() called directly does.
    }
}

void OutputFile::createMapping(std::uint64_t requestedSize) {
    const std::uint64_t granularity = allocationGranularity();
    std::uint64_t size = 0;
    if (requestedSize == kNotSet) {
        if (logicalSize_ != kNotSet)
            size = logicalSize_;
        else if (fileSize_ == 0)
            size = kNewOutputMapping;
    } else {
        size = requestedSize / granularity * granularity;
        if (size == 0 || size < requestedSize)
            size += granularity;
    }
    if (size > fileSize_ && !growFile(fd_, fileSize_, size))
        throw std::runtime_error("OutputFile: Could not create file mapping object");
    readFileSize();
}

void OutputFile::resize(std::uint64_t newSize) {
    if (newSize != fileSize_)
        createMapping(newSize);
    logicalSize_ = newSize;
}

void OutputFile::closeFile() {
    if (fd_ < 0)
        return;
    const bool cut = logicalSize_ != kNotSet && logicalSize_ < fileSize_;
    const int result = cut ? ftruncate(fd_, static_cast<off_t>(logicalSize_)) : 0;
    const int error = errno;
    close();
    if (result != 0)
        throw std::runtime_error(systemError(error));
}

}  // namespace mapped_file
