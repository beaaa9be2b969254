#include "patches/BankStorage.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "patches/BankFile.h"
#include "patches/PatchStatus.h"

namespace patches {

namespace {

constexpr const char* kFileErrorCaption = "File error";
constexpr const char* kFileManagementCaption = "File management";
constexpr const char* kSaveCaption = "Save the patches!";

void reportUnwritable(const std::string& path, const std::string& why, PanelView& view) {
    view.warn(path + "\ncould not be saved: " + why, kFileErrorCaption);
}

}  // namespace

std::string bankFilePath(const std::string& folder, const std::string& name) {
    return folder + name + std::string(kBankExtension);
}

int saveBank(PatchBank& bank, const std::string& folder, PanelView& view) {
    // The whole folder chain is created: the per-user data folder may not exist yet.
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (bank.modified == kBankSaved)
        return kStatusNothingToSave;

    if (!bank.hasPatches()) {
        if (bank.name.size() > 1) {
            const Answer answer = view.askYesNoCancel(
                bank.name + " is empty\nDo you want to delete the associated file if it exists?",
                kFileManagementCaption);
            if (answer == Answer::Cancel)
                return kStatusNone;
            if (answer == Answer::No) {
                bank.modified = kBankSaved;
                return kStatusNothingToSave;
            }
        }
        if (!bank.name.empty())
            std::filesystem::remove(bankFilePath(folder, bank.name), ec);
        bank.name.clear();
        view.setNameField("");
        bank.modified = kBankSaved;
        return kStatusNothingToSave;
    }

    if (bank.name.empty()) {
        view.promptForName(std::string(statusText(kPromptBankName)));
        return kStatusNeedsName;
    }

    const std::string path = bankFilePath(folder, bank.name);
    if (std::filesystem::exists(path, ec)) {
        if (::access(path.c_str(), W_OK) != 0) {
            reportUnwritable(path, std::strerror(errno), view);
            return kStatusNone;
        }
        if (bank.modified == kBankRenamed &&
            !view.askOkCancel(path + "\nThis file exists. Do you want to overwrite?", kSaveCaption))
            return kStatusNone;
    }

    if (auto error = replaceFileAtomically(path, encodeBankFile(bank))) {
        reportUnwritable(path, *error, view);
        return kStatusNone;
    }
    for (Patch& patch : bank.slots) {
        if (patch.occupied())
            patch.flags = kPatchOccupied;
    }
    bank.modified = kBankSaved;
    return kStatusBankSaved;
}

bool loadBank(const std::string& path, PatchBank& bank, int bankIndex,
              const std::optional<std::string>& title, PanelView& view) {
    const std::optional<std::string> bytes = readFileBytes(path);
    if (!bytes)
        return false;
    DecodedBankFile file = decodeBankFile(*bytes);
    if (file.problem == BankFileProblem::Empty) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
    if (file.problem == BankFileProblem::Empty) {
        view.warn(path + " is empty. File deleted.", kFileErrorCaption);
        return false;
    }
    if (file.problem != BankFileProblem::None) {
        view.warn(bankFileProblemText(path, file), kFileErrorCaption);
        return false;
    }

    const auto& loaded = file.contents.patches;
    for (size_t i = 0; i < bank.slots.size(); ++i) {
        Patch& slot = bank.slots[i];
        if (i >= loaded.size()) {
            slot.empty();
            continue;
        }
        // Every record is a patch: the occupied bit is kept set so that `count` stays true.
        slot.flags = loaded[i].flags | kPatchOccupied;
        slot.soundPath = loaded[i].soundPath;
        for (int v = 0; v < file.contents.valuesPerRecord; ++v)
            slot.values[static_cast<size_t>(v)] = loaded[i].values[static_cast<size_t>(v)];
    }
    bank.count = file.count;
    bank.name = title ? limitBankName(*title) : bankLetter(bankIndex);
    bank.modified = kBankSaved;
    return true;
}

}  // namespace patches
