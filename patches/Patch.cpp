#include "patches/Patch.h"

namespace patches {

std::string_view Patch::soundPathText() const {
    const std::string_view bytes = soundPath;
    return bytes.substr(0, bytes.find('\0'));
}

void Patch::setSoundPath(std::string_view text) {
    soundPath.assign(text);
    soundPath.push_back('\0');
}

void Patch::empty() {
    flags = 0;
    soundPath.clear();
}

std::string bankLetter(int bank) {
    return std::string(1, static_cast<char>('A' + bank));
}

std::string limitBankName(std::string_view name) {
    if (name.size() <= static_cast<size_t>(kMaxBankNameLength))
        return std::string(name);
    size_t end = kMaxBankNameLength;
    constexpr unsigned char kContinuationMask = 0xC0;
    constexpr unsigned char kContinuationByte = 0x80;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & kContinuationMask) == kContinuationByte)
        --end;
    return std::string(name.substr(0, end));
}

}  // namespace patches
