#include "patches/BankFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <ios>
#include <iterator>

namespace patches {

namespace {

constexpr size_t kWordSize = 4;
constexpr size_t kHeaderSize = 12;

uint32_t readWord(std::string_view bytes, size_t at) {
    uint32_t word = 0;
    for (size_t i = 0; i < kWordSize; ++i)
        word |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return word;
}

void appendWord(std::string& out, uint32_t word) {
    for (size_t i = 0; i < kWordSize; ++i)
        out.push_back(static_cast<char>((word >> (8 * i)) & 0xFF));
}

}  // namespace

DecodedBankFile decodeBankFile(std::string_view bytes) {
    DecodedBankFile result;
    if (bytes.size() < kBankMagic.size() || bytes.substr(0, kBankMagic.size()) != kBankMagic) {
        result.problem = BankFileProblem::NotBankFile;
        return result;
    }
    if (bytes.size() < kHeaderSize) {
        result.problem = BankFileProblem::Truncated;
        return result;
    }
    const auto version = static_cast<int32_t>(readWord(bytes, 4));
    result.count = static_cast<int32_t>(readWord(bytes, 8));
    result.contents.version = version;
    result.contents.valuesPerRecord =
        version >= kFirstVersionWithChangeTime ? engine::kParamCount : kValuesWritten;
    if (result.count == 0) {
        result.problem = BankFileProblem::Empty;
        return result;
    }
    if (result.count < 0 || result.count > kSlotCount) {
        result.problem = BankFileProblem::BadCount;
        return result;
    }
    const size_t valueBytes = kWordSize * static_cast<size_t>(result.contents.valuesPerRecord);
    size_t at = kHeaderSize;
    for (int32_t i = 0; i < result.count; ++i) {
        if (bytes.size() - at < 2 * kWordSize) {
            result.problem = BankFileProblem::Truncated;
            return result;
        }
        Patch patch;
        patch.flags = readWord(bytes, at);
        const uint32_t pathLength = readWord(bytes, at + kWordSize);
        at += 2 * kWordSize;
        if (bytes.size() - at < pathLength || bytes.size() - at - pathLength < valueBytes) {
            result.problem = BankFileProblem::Truncated;
            return result;
        }
        patch.soundPath.assign(bytes.substr(at, pathLength));
        at += pathLength;
        for (int v = 0; v < result.contents.valuesPerRecord; ++v, at += kWordSize)
            patch.values[static_cast<size_t>(v)] = static_cast<int32_t>(readWord(bytes, at));
        result.contents.patches.push_back(std::move(patch));
    }
    return result;
}

std::string bankFileProblemText(const std::string& path, const DecodedBankFile& file) {
    switch (file.problem) {
        case BankFileProblem::NotBankFile:
            return path + "\nis not a valid Frisson patch bank file";
        case BankFileProblem::Empty:
            return path + " is empty";
        case BankFileProblem::BadCount:
            return path + "\nis not a valid Frisson patch bank file: it claims " +
                   std::to_string(file.count) + " patches, a bank holds 1 to " + std::to_string(kSlotCount);
        case BankFileProblem::Truncated:
            return path + "\nis damaged: the file ends before its patches are complete";
        case BankFileProblem::None:
            break;
    }
    return {};
}

std::string encodeBankFile(const PatchBank& bank) {
    std::string out(kBankMagic);
    appendWord(out, static_cast<uint32_t>(kBankVersionWritten));
    uint32_t count = 0;
    appendWord(out, count);
    for (const Patch& patch : bank.slots) {
        if (!patch.occupied())
            continue;
        appendWord(out, kPatchOccupied);
        appendWord(out, patch.soundPathLength());
        out += patch.soundPath;
        for (int v = 0; v < kValuesWritten; ++v)
            appendWord(out, static_cast<uint32_t>(patch.values[static_cast<size_t>(v)]));
        ++count;
    }
    std::string countBytes;
    appendWord(countBytes, count);
    out.replace(kHeaderSize - kWordSize, kWordSize, countBytes);
    return out;
}

std::optional<std::string> readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    // A folder opens like a file, and reading it then throws from inside the
    // stream buffer (EISDIR); any read error means the file cannot be read.
    try {
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad())
            return std::nullopt;
        return bytes;
    } catch (const std::ios_base::failure&) {
        return std::nullopt;
    }
}

std::optional<std::string> replaceFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    std::string temporary = path.string() + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return std::strerror(errno);
    // A replaced file keeps its permissions; a new one is private to the user.
    int error = 0;
    struct stat old {};
    constexpr mode_t kPermissionBits = 07777;
    if (::stat(path.c_str(), &old) == 0 && ::fchmod(fd, old.st_mode & kPermissionBits) != 0)
        error = errno;
    size_t done = 0;
    while (!error && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR)
            error = errno;
        else if (n > 0)
            done += static_cast<size_t>(n);
    }
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && std::rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error) {
        ::unlink(temporary.c_str());
        return std::strerror(error);
    }
    return std::nullopt;
}

}  // namespace patches
