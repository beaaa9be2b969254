#pragma once

// What the file-format fuzz targets share: a check that ends the run, a scratch
// folder for the files a target reads and writes, and quiet stand-ins for the
// patch panel's view and streams.
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "patches/PanelView.h"
#include "patches/PatchStreams.h"

namespace fuzzing {

inline void check(bool condition) {
    if (!condition)
        std::terminate();
}

// A private folder below $TMPDIR (or /tmp), removed when the run ends.
class ScratchFolder {
  public:
    explicit ScratchFolder(const char* prefix) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + ".XXXXXX";
        check(::mkdtemp(pattern.data()) != nullptr);
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Empties the folder, so that every input starts from the same state.
    void clear() const {
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            std::filesystem::remove_all(entry.path());
    }

  private:
    std::filesystem::path path_;
};

inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    check(static_cast<bool>(out));
}

inline std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A panel view that answers every question with Cancel and counts warnings.
class QuietView : public patches::PanelView {
  public:
    patches::Answer askYesNoCancel(const std::string&, const std::string&) override {
        ++questions;
        return patches::Answer::Cancel;
    }
    bool askOkCancel(const std::string&, const std::string&) override {
        ++questions;
        return false;
    }
    void warn(const std::string& text, const std::string& caption) override {
        check(!text.empty() && !caption.empty());
        ++warnings;
    }
    std::optional<std::string> chooseBankFile(const std::string&) override { return std::nullopt; }
    void setNameField(const std::string&) override {}
    void promptForName(const std::string&) override {}
    void showDisplayedBank(int bank) override { check(bank >= 0 && bank < 8); }
    void setSlotLabel(int, const std::string&) override {}
    void setSlotSelected(int, bool) override {}
    void showStatus(const std::string&) override {}
    void clearStatus() override {}
    void moveScrollBar(int, int32_t) override {}

    int questions = 0;
    int warnings = 0;
};

// One stream playing the built-in sine, with parameters that never move.
class StillStreams : public patches::PatchStreams {
  public:
    int currentStream() const override { return 0; }
    bool streamExists(int stream) const override { return stream == 0; }
    int32_t target(int, int) const override { return 0; }
    float current(int, int) const override { return 0.0F; }
    void setParameter(int, int, int32_t, double) override {}
    int32_t changeTime() const override { return 0; }
    std::string soundPath(int) const override { return "fizz_sine"; }
    int32_t bankIndex(int) const override { return 0; }
    int32_t patchSlot(int) const override { return 0; }
    void setPatchOf(int, int32_t, int32_t) override {}
};

}  // namespace fuzzing
