// libFuzzer target for the session record: any bytes as the settings file that
// holds it, read at start into the eight banks from a patch folder with a few
// bank files, then recorded again at exit. A bank is filled exactly when its
// recorded name (or, without a record, its letter) names a valid bank file of
// the folder; the exit changes no bank file and records what the banks hold.
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "engine/ParamSpec.h"
#include "fuzz/FuzzSupport.h"
#include "patches/BankFile.h"
#include "patches/PatchPanel.h"
#include "patches/Session.h"
#include "platform/SettingsStore.h"
#include "shell/SessionStore.h"

namespace {

using fuzzing::check;

constexpr std::string_view kUserKey = "Software\\Wavecraft\\Frisson\\Users\\bob";

std::string oneSlotBank(int32_t marker) {
    patches::PatchBank bank;
    bank.count = 1;
    bank.slot(1).flags = patches::kPatchOccupied;
    bank.slot(1).setSoundPath("s.wav");
    bank.slot(1).values[0] = marker;
    return patches::encodeBankFile(bank);
}

// The patch folder: two valid banks (first value 1 and 2), an empty one the
// loader deletes and one that is not a bank file.
const std::map<std::string, std::string>& bankFiles() {
    static const std::map<std::string, std::string> files = {
        {"A", oneSlotBank(1)},
        {"drums", oneSlotBank(2)},
        {"empty", std::string("Fbnk\x64\0\0\0\0\0\0\0", 12)},
        {"bad", "not a bank"},
    };
    return files;
}

int32_t markerOf(const std::string& name) {
    return name == "A" ? 1 : name == "drums" ? 2 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzzing::ScratchFolder scratch("fuzz_session");
    scratch.clear();
    const std::filesystem::path folder = scratch.path() / "Patches";
    std::filesystem::create_directory(folder);
    for (const auto& [name, bytes] : bankFiles())
        fuzzing::writeFile(folder / (name + ".fpb"), bytes);
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path settingsFile = scratch.path() / "settings.reg";
    const std::filesystem::path probeFile = scratch.path() / "probe.reg";
    fuzzing::writeFile(settingsFile, input);
    fuzzing::writeFile(probeFile, input);

    // What the record holds, read from a copy: nothing when it is missing or unreadable.
    std::optional<std::array<std::string, patches::kBankCount>> recorded;
    bool readable = true;
    {
        platform::SettingsStore store(probeFile);
        try {
            recorded = shell::SessionStore(store, std::string(kUserKey)).read();
        } catch (const std::exception&) {
            readable = false;
        }
    }

    platform::SettingsStore store(settingsFile);
    shell::SessionStore record(store, std::string(kUserKey));
    fuzzing::StillStreams streams;
    fuzzing::QuietView view;
    patches::PatchPanel panel(streams, view);
    panel.setPatchFolder(folder.string());
    panel.start(engine::defaultParamSet());
    patches::loadSession(panel, folder.string() + "/", record, view);

    bool emptyNamed = false;
    for (int b = 0; b < patches::kBankCount; ++b) {
        const std::string name = recorded ? (*recorded)[static_cast<size_t>(b)] : patches::bankLetter(b);
        const int32_t marker = readable ? markerOf(name) : 0;
        emptyNamed = emptyNamed || (readable && name == "empty");
        const patches::PatchBank& bank = panel.bank(b);
        check(bank.hasPatches() == (marker != 0));
        if (marker != 0)
            check(bank.name == patches::limitBankName(name) && bank.slot(1).values[0] == marker);
    }

    check(patches::saveAndRecordSession(panel, record));
    check(view.questions == 0);
    for (const auto& [name, bytes] : bankFiles()) {
        const auto now = fuzzing::readFile(folder / (name + ".fpb"));
        if (name == "empty" && emptyNamed)
            check(!now);
        else
            check(now && *now == bytes);
    }

    // The record read back names what each bank holds.
    platform::SettingsStore reread(settingsFile);
    check(!reread.loadProblem());
    std::optional<std::array<std::string, patches::kBankCount>> names;
    try {
        names = shell::SessionStore(reread, std::string(kUserKey)).read();
    } catch (const std::exception&) {
        check(false);
    }
    check(names.has_value());
    for (int b = 0; b < patches::kBankCount; ++b)
        check((*names)[static_cast<size_t>(b)] == panel.sessionName(b));
    return 0;
}
