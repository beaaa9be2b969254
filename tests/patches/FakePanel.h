#pragma once

#include <array>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/ParamSpec.h"
#include "patches/PanelView.h"
#include "patches/PatchStreams.h"

namespace patches::testing {

// A scripted panel view: answers come from queues, everything shown is recorded.
class FakeView : public PanelView {
  public:
    Answer askYesNoCancel(const std::string& text, const std::string& caption) override {
        questions.push_back(caption + ": " + text);
        Answer a = yesNoAnswers.empty() ? Answer::Cancel : yesNoAnswers.front();
        if (!yesNoAnswers.empty())
            yesNoAnswers.pop_front();
        return a;
    }
    bool askOkCancel(const std::string& text, const std::string& caption) override {
        questions.push_back(caption + ": " + text);
        bool ok = okAnswers.empty() ? false : okAnswers.front();
        if (!okAnswers.empty())
            okAnswers.pop_front();
        return ok;
    }
    void warn(const std::string& text, const std::string& caption) override {
        warnings.push_back(caption + ": " + text);
    }
    std::optional<std::string> chooseBankFile(const std::string& folder) override {
        chooserFolder = folder;
        return chosenFile;
    }
    void setNameField(const std::string& text) override { nameField = text; }
    void promptForName(const std::string& prompt) override {
        nameField = prompt;
        prompted = true;
    }
    void showDisplayedBank(int bank) override { displayedBank = bank; }
    void setSlotLabel(int slot, const std::string& label) override { labels[slot] = label; }
    void setSlotSelected(int slot, bool selected) override { this->selected[slot] = selected; }
    void showStatus(const std::string& text) override { status = text; }
    void clearStatus() override { status.clear(); }
    void moveScrollBar(int param, int32_t value) override { scrollBars[param] = value; }

    std::deque<Answer> yesNoAnswers;
    std::deque<bool> okAnswers;
    std::optional<std::string> chosenFile;
    std::string chooserFolder;

    std::vector<std::string> questions;
    std::vector<std::string> warnings;
    std::string nameField;
    bool prompted = false;
    int displayedBank = -1;
    std::map<int, std::string> labels;
    std::map<int, bool> selected;
    std::string status;
    std::map<int, int32_t> scrollBars;

    std::vector<int> selectedSlots() const {
        std::vector<int> out;
        for (auto [slot, on] : selected)
            if (on)
                out.push_back(slot);
        return out;
    }
};

// Streams as plain numbers: set parameter records its calls.
class FakeStreams : public PatchStreams {
  public:
    struct SetCall {
        int stream;
        int param;
        int32_t value;
        double changeTime;
    };
    struct StreamData {
        bool exists = false;
        std::array<int32_t, engine::kParamCount> target{};
        std::array<float, engine::kParamCount> current{};
        std::string sound = "fizz_sine";
        int32_t bankIndex = 0;
        int32_t patchSlot = 0;
    };

    FakeStreams() {
        streams[0].exists = true;
        const auto defaults = engine::defaultParamSet();
        for (auto& s : streams) {
            s.target = defaults;
            for (size_t p = 0; p < defaults.size(); ++p)
                s.current[p] = static_cast<float>(defaults[p]);
        }
    }

    int currentStream() const override { return currentIndex; }
    bool streamExists(int stream) const override { return streams[static_cast<size_t>(stream)].exists; }
    int32_t target(int stream, int param) const override {
        return streams[static_cast<size_t>(stream)].target[static_cast<size_t>(param)];
    }
    float current(int stream, int param) const override {
        return streams[static_cast<size_t>(stream)].current[static_cast<size_t>(param)];
    }
    void setParameter(int stream, int param, int32_t value, double changeTime) override {
        calls.push_back({stream, param, value, changeTime});
        streams[static_cast<size_t>(stream)].target[static_cast<size_t>(param)] = value;
    }
    int32_t changeTime() const override { return globalChangeTime; }
    std::string soundPath(int stream) const override { return streams[static_cast<size_t>(stream)].sound; }
    int32_t bankIndex(int stream) const override { return streams[static_cast<size_t>(stream)].bankIndex; }
    int32_t patchSlot(int stream) const override { return streams[static_cast<size_t>(stream)].patchSlot; }
    void setPatchOf(int stream, int32_t bank, int32_t slot) override {
        streams[static_cast<size_t>(stream)].bankIndex = bank;
        streams[static_cast<size_t>(stream)].patchSlot = slot;
    }

    StreamData& at(int stream) { return streams[static_cast<size_t>(stream)]; }

    int currentIndex = 0;
    int32_t globalChangeTime = 64;
    std::array<StreamData, 8> streams{};
    std::vector<SetCall> calls;
};

// A fresh, empty folder under the test scratch folder, named after the running
// test (ctest runs tests in parallel).
inline std::filesystem::path freshFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path folder =
        std::filesystem::path(FRISSON_TEST_TMP) / (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

}  // namespace patches::testing
