// libFuzzer target for the patch bank reader: any bytes as a bank file, decoded,
// listed and loaded into a bank as the panel loads one. A file the reader refuses
// is reported and leaves the bank as it was; a file it accepts fills the bank with
// its records, and saving that bank writes a file that reads back the same
// records. A version-100 file whose records are all flagged 1 saves back byte
// for byte, as the program writes it.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "patches/BankFile.h"
#include "patches/BankListing.h"
#include "patches/BankStorage.h"

namespace {

using fuzzing::check;

constexpr int32_t kMarker = 0x5EED;

// A bank that already holds one patch, to see that a refused file leaves it alone.
patches::PatchBank heldBank() {
    patches::PatchBank bank;
    bank.name = "held";
    bank.count = 1;
    bank.slot(1).flags = patches::kPatchOccupied;
    bank.slot(1).setSoundPath("held.wav");
    bank.slot(1).values[0] = kMarker;
    return bank;
}

bool sameRecords(const patches::DecodedBankFile& a, const patches::DecodedBankFile& b, int values) {
    if (a.contents.patches.size() != b.contents.patches.size())
        return false;
    for (size_t i = 0; i < a.contents.patches.size(); ++i) {
        const patches::Patch& x = a.contents.patches[i];
        const patches::Patch& y = b.contents.patches[i];
        if (x.soundPath != y.soundPath)
            return false;
        for (int v = 0; v < values; ++v) {
            if (x.values[static_cast<size_t>(v)] != y.values[static_cast<size_t>(v)])
                return false;
        }
    }
    return true;
}

// The bytes the decoder used: the header and every record, without what follows them.
size_t usedBytes(const patches::DecodedBankFile& file) {
    size_t used = 12;
    for (const patches::Patch& patch : file.contents.patches)
        used += 8 + patch.soundPath.size() + 4 * static_cast<size_t>(file.contents.valuesPerRecord);
    return used;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzzing::ScratchFolder folder("fuzz_bank");
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string path = (folder.path() / "bank.fpb").string();
    fuzzing::writeFile(path, bytes);

    const patches::DecodedBankFile file = patches::decodeBankFile(bytes);
    fuzzing::QuietView view;
    patches::PatchBank bank = heldBank();
    const bool loaded = patches::loadBank(path, bank, 2, std::nullopt, view);

    if (file.problem != patches::BankFileProblem::None) {
        check(!loaded && view.warnings == 1);
        check(!patches::bankFileProblemText(path, file).empty());
        check(bank.count == 1 && bank.name == "held" && bank.slot(1).values[0] == kMarker &&
              bank.slot(1).soundPathText() == "held.wav");
        return 0;
    }
    check(loaded && view.warnings == 0);
    check(file.count >= 1 && file.count <= patches::kSlotCount);
    check(file.contents.patches.size() == static_cast<size_t>(file.count));
    check(usedBytes(file) <= size);
    std::ostringstream listing;
    patches::printBankListing(file, listing);
    check(!listing.str().empty());

    check(bank.count == file.count && bank.name == "C");
    for (size_t i = 0; i < bank.slots.size(); ++i)
        check(bank.slots[i].occupied() == (i < file.contents.patches.size()));

    // What the bank saves reads back as the records that were loaded.
    const std::string saved = patches::encodeBankFile(bank);
    const patches::DecodedBankFile again = patches::decodeBankFile(saved);
    check(again.problem == patches::BankFileProblem::None && again.count == file.count);
    check(sameRecords(file, again, patches::kValuesWritten));

    bool asWritten = file.contents.version == patches::kBankVersionWritten && usedBytes(file) == size;
    for (const patches::Patch& patch : file.contents.patches)
        asWritten = asWritten && patch.flags == patches::kPatchOccupied;
    if (asWritten)
        check(saved == bytes);
    return 0;
}
