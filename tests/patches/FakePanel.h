#pragma once

#include <deque>
#include <filesystem>
#include <map>

#include "patches/EnginePatchStreams.h"
#include "patches/PatchPanel.h"
#include "sounds/SoundTable.h"
#include "tests/audio/TestFiles.h"

namespace patches::testing {

// A fresh, empty folder for the running test, below the test scratch folder.
inline std::filesystem::path freshFolder() {
    return audio::test::scratchDir();
}

// A scripted panel view: answers come from queues (Cancel when they run dry), everything shown is
// recorded, questions as "caption: text".
class FakeView : public PanelView {
  public:
    Answer askYesNoCancel(const std::string& text, const std::string& caption) override {
        return next(yesNoAnswers, Answer::Cancel, caption + ": " + text);
    }
    bool askOkCancel(const std::string& text, const std::string& caption) override {
        return next(okAnswers, false, caption + ": " + text);
    }
    void warn(const std::string& text, const std::string& caption) override {
        warnings.push_back(caption + ": " + text);
    }
    std::optional<std::string> chooseBankFile(const std::string& folder) override {
        chooserFolder = folder;
        return chosenFile;
    }
    void setNameField(const std::string& text) override { nameField = text; }
    void promptForName(const std::string& prompt) override { nameField = prompt, prompted = true; }
    void showDisplayedBank(int bank) override { displayedBank = bank; }
    void setSlotLabel(int slot, const std::string& label) override { labels[slot] = label; }
    void setSlotSelected(int slot, bool on) override { selected[slot] = on; }
    void showStatus(const std::string& text) override { status = text; }
    void clearStatus() override { status.clear(); }
    void moveScrollBar(int param, int32_t value) override { scrollBars[param] = value; }

    std::vector<int> selectedSlots() const {
        std::vector<int> out;
        for (auto [slot, on] : selected)
            if (on)
                out.push_back(slot);
        return out;
    }

    std::deque<Answer> yesNoAnswers;
    std::deque<bool> okAnswers;
    std::optional<std::string> chosenFile;
    std::vector<std::string> questions, warnings;
    std::string chooserFolder, nameField, status;
    bool prompted = false;
    int displayedBank = -1;
    std::map<int, std::string> labels;
    std::map<int, bool> selected;
    std::map<int, int32_t> scrollBars;

  private:
    template <typename T>
    T next(std::deque<T>& answers, T whenDry, const std::string& question) {
        questions.push_back(question);
        if (answers.empty())
            return whenDry;
        const T answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// Eight streams as plain numbers, at the defaults (only stream 0 exists); set parameter records
// its calls.
class FakeStreams : public PatchStreams {
  public:
    struct SetCall {
        int stream, param;
        int32_t value;
        double changeTime;
    };
    struct StreamData {
        bool exists = false;
        engine::ParamSet target = engine::defaultParamSet();
        std::array<float, engine::kParamCount> current{};
        std::string sound = "fizz_sine";
        int32_t bankIndex = 0, patchSlot = 0;
    };

    FakeStreams() {
        streams[0].exists = true;
        for (auto& s : streams)
            for (size_t p = 0; p < s.target.size(); ++p)
                s.current[p] = static_cast<float>(s.target[p]);
    }

    int currentStream() const override { return currentIndex; }
    bool streamExists(int stream) const override { return streams.at(stream).exists; }
    int32_t target(int stream, int param) const override { return streams.at(stream).target.at(param); }
    float current(int stream, int param) const override { return streams.at(stream).current.at(param); }
    void setParameter(int stream, int param, int32_t value, double changeTime) override {
        calls.push_back({stream, param, value, changeTime});
        at(stream).target.at(param) = value;
    }
    int32_t changeTime() const override { return globalChangeTime; }
    std::string soundPath(int stream) const override { return streams.at(stream).sound; }
    int32_t bankIndex(int stream) const override { return streams.at(stream).bankIndex; }
    int32_t patchSlot(int stream) const override { return streams.at(stream).patchSlot; }
    void setPatchOf(int stream, int32_t bank, int32_t slot) override {
        at(stream).bankIndex = bank, at(stream).patchSlot = slot;
    }

    StreamData& at(int stream) { return streams.at(static_cast<size_t>(stream)); }

    int currentIndex = 0;
    int32_t globalChangeTime = 64;
    std::array<StreamData, 8> streams{};
    std::vector<SetCall> calls;
};

// Bank file bytes written out by hand, as the file layout describes them: little-endian words, the
// 12-byte header.
inline std::string word(uint32_t w) {
    return {static_cast<char>(w & 0xFF), static_cast<char>((w >> 8) & 0xFF),
            static_cast<char>((w >> 16) & 0xFF), static_cast<char>((w >> 24) & 0xFF)};
}

inline std::string header(int32_t version, int32_t count) {
    return "Fbnk" + word(static_cast<uint32_t>(version)) + word(static_cast<uint32_t>(count));
}

// One record: flags 1, length, the path bytes and a terminating zero (unless `bare`), then `n` values
// base, base + 1, ...
inline std::string record(const std::string& path, int n, int32_t base, bool bare = false) {
    const std::string bytes = bare ? path : path + '\0';
    std::string r = word(1) + word(static_cast<uint32_t>(bytes.size())) + bytes;
    for (int i = 0; i < n; ++i)
        r += word(static_cast<uint32_t>(base + i));
    return r;
}

// An engine at 44100 Hz with its patch panel: bank A displayed, every bank empty.
struct EngineRig {
    EngineRig() { panel.start(engine::defaultParamSet()); }

    sounds::SoundTable sounds{44100};
    engine::Engine engine{sounds, engine::OutputFormat{44100, true, 256, 4}};
    EnginePatchStreams streams{engine};
    FakeView panelView;
    PatchPanel panel{streams, panelView};
};

}  // namespace patches::testing
