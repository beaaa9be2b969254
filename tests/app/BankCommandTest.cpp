#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/CommandLine.h"
#include "engine/ParamSpec.h"
#include "patches/BankStorage.h"
#include "patches/PatchStatus.h"
#include "tests/app/AppTestSupport.h"
#include "tests/patches/FakePanel.h"

namespace app {
namespace {

namespace fs = std::filesystem;
using apptest::readBytes;
using apptest::run;

// Values of a patch: each parameter a third of the way through its range,
// except what a quiet, quick render needs.
patches::ParamValues patchValues(int32_t pitch) {
    patches::ParamValues values{};
    for (int p = 0; p < engine::kParamCount; ++p) {
        const auto& row = engine::paramSpec(p);
        values[static_cast<size_t>(p)] = row.min + (row.max - row.min) / 3;
    }
    values[engine::Pitch] = pitch;
    values[engine::Amp] = 300;
    values[engine::PanPos] = 100;  // not recalled: the render must keep its default 0
    return values;
}

class BankCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = patches::testing::freshFolder();
        folder = dir.string() + "/";
        patches::PatchBank bank;
        bank.name = "live";
        for (int slot : {2, 5}) {
            patches::Patch& p = bank.slot(slot);
            p.flags = patches::kPatchOccupied | patches::kPatchUnsaved;
            p.setSoundPath(slot == 2 ? "fizz_sine" : "/sounds/voice.wav");
            p.values = patchValues(slot == 2 ? 5000 : 7000);
            ++bank.count;
        }
        bank.modified = patches::kBankPatchesChanged;
        patches::testing::FakeView view;
        ASSERT_EQ(patches::saveBank(bank, folder, view), patches::kStatusBankSaved);
        bankPath = folder + "live.fpb";
    }
    fs::path dir;
    std::string folder;
    std::string bankPath;
};

TEST_F(BankCommandTest, ListsTheSavedBankInFileOrder) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(run("bank", {bankPath}), kExitOk);
    const std::string listing = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(listing.starts_with("version: 100\ncount: 2\nslot 1: fizz_sine\n")) << listing;
    for (const char* part : {"slot 2: /sounds/voice.wav\n", " Pitch=5000\n", " Pitch=7000\n", " Amp=300 "})
        EXPECT_NE(listing.find(part), std::string::npos) << part;
    EXPECT_EQ(listing.find("ChangeTime"), std::string::npos) << "version 100 keeps no change time";
}

TEST_F(BankCommandTest, RefusesWhatIsNotABankAndLeavesItAlone) {
    std::ofstream(dir / "empty.fpb", std::ios::binary) << "Fbnk" << std::string("\x64\0\0\0\0\0\0\0", 8);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(run("bank", {(dir / "empty.fpb").string()}), kExitFailure);
    EXPECT_EQ(run("bank", {(dir / "missing.fpb").string()}), kExitFailure);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("empty.fpb is empty"), std::string::npos) << said;
    EXPECT_NE(said.find("missing.fpb: cannot be read"), std::string::npos) << said;
    EXPECT_TRUE(fs::exists(dir / "empty.fpb"));
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{}, {"a.fpb", "b.fpb"}, {"--verbose", "a.fpb"}})
        EXPECT_THROW(run("bank", args), UsageError) << args.size();
}

TEST_F(BankCommandTest, RenderRecallsExactlyTheStoredParameters) {
    // The patch stored in slot 5 is the file's second record.
    const patches::ParamValues values = patchValues(7000);
    std::string spelled = "sound=sine";
    for (int p = 0; p < 27; ++p)
        spelled += "," + std::string(engine::paramSpec(p).name) + "=" + std::to_string(values[size_t(p)]);
    const auto render = [&](const std::string& name, const std::string& stream) {
        const fs::path out = dir / name;
        EXPECT_EQ(
            run("render", {"--seconds", "0.3", "--rate", "22050", "-o", out.string(), "--stream", stream}),
            kExitOk);
        return readBytes(out);
    };
    const std::string recalled = render("recalled.wav", "bank=" + bankPath + ",patch=2");
    EXPECT_GT(recalled.size(), 44u);
    EXPECT_EQ(recalled, render("written.wav", spelled));
}

TEST(ParamsCommand, ListsEveryParameterWithItsRangeDefaultAndMeaning) {
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(run("params", {}), kExitOk);
    const std::string text = ::testing::internal::GetCapturedStdout();
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    ASSERT_EQ(lines.size(),
              1u + 29u);  // the heading, then one line a parameter in scroll-bar order
    const auto line = [&](size_t param) { return lines.at(param + 1); };
    EXPECT_EQ(line(0).substr(0, 5), "Start");
    for (const auto& [param, name, range, value] :
         std::vector<std::tuple<size_t, std::string, std::string, std::string>>{
             {13, "Pitch", "-16384..16384", "6144"},
             {20, "AttackRnd", "0..255", "0"},
             {23, "Amp", "0..1024", "461"},
             {28, "ChangeTime", "1..4096", "64"}}) {
        EXPECT_EQ(line(param).substr(0, name.size()), name);
        EXPECT_NE(line(param).find(" " + range + " "), std::string::npos) << line(param);
        EXPECT_NE(line(param).find(" " + value + " "), std::string::npos) << line(param);
    }
    EXPECT_NE(line(23).find("Sets output amplitude"), std::string::npos);
    EXPECT_THROW(run("params", {"extra"}), UsageError);
}

}  // namespace
}  // namespace app
