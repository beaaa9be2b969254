#include "patches/BankListing.h"

namespace patches {

namespace {
constexpr int kValuesPerLine = 7;
}  // namespace

void printBankListing(const DecodedBankFile& file, std::ostream& out) {
    out << "version: " << file.contents.version << "\n";
    out << "count: " << file.count << "\n";
    int slot = 0;
    for (const Patch& patch : file.contents.patches) {
        out << "slot " << ++slot << ": " << patch.soundPathText() << "\n";
        for (int p = 0; p < file.contents.valuesPerRecord; ++p) {
            out << (p % kValuesPerLine == 0 ? "  " : " ") << engine::paramSpec(p).name << '='
                << patch.values[static_cast<size_t>(p)];
            if (p % kValuesPerLine == kValuesPerLine - 1 || p + 1 == file.contents.valuesPerRecord)
                out << "\n";
        }
    }
}

}  // namespace patches
