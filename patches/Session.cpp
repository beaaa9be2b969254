#include "patches/Session.h"

#include <exception>
#include <string_view>

#include "patches/BankStorage.h"
#include "patches/PatchStatus.h"

namespace patches {

void loadSession(PatchPanel& panel, const std::string& folder, SessionRecord& record, PanelView& view) {
    std::optional<std::array<std::string, kBankCount>> names;
    try {
        names = record.read();
    } catch (const std::exception&) {
        return;
    }
    for (int b = 0; b < kBankCount; ++b) {
        bool loaded = false;
        if (names) {
            const std::string& name = (*names)[static_cast<size_t>(b)];
            // A bank name never holds a '/' (it would reach outside the patch folder)
            // nor a zero byte (the file name would end there, naming another file).
            const bool usable =
                !name.empty() && name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
            loaded = usable && loadBank(bankFilePath(folder, name), panel.bank(b), b, name, view);
        } else {
            loaded = loadBank(bankFilePath(folder, bankLetter(b)), panel.bank(b), b, std::nullopt, view);
        }
        if (loaded && b == 0)
            panel.showBank(0);
    }
}

bool saveAndRecordSession(PatchPanel& panel, SessionRecord& record) {
    for (int b = 0; b < kBankCount; ++b) {
        if (panel.saveBankForExit(b) == kStatusNone)
            return false;
        record.write(b, panel.sessionName(b));
    }
    return true;
}

}  // namespace patches
