// The direct ALSA path paced by a real clock: ALSA's jack plugin plays into
// the private JACK server of the jack_server fixture, so every buffer comes
// back as a done message only when JACK has consumed it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "output/AlsaOutput.h"
#include "platform/MessageQueue.h"

namespace output {
namespace {

namespace fs = std::filesystem;

constexpr unsigned kRate = 44100;
constexpr unsigned kFrames = 256;
constexpr int kSlots = 4;
constexpr int kBuffers = 86;  // 0.5 s of sound
constexpr const char* kPcm = "frisson_jack";

// ALSA reads ~/.asoundrc once, when this process first uses it: point HOME at
// a folder whose .asoundrc defines a PCM on the jack plugin before any test runs.
const bool alsaConfigured = [] {
    const fs::path home = fs::path(FRISSON_TEST_TMP) / "alsa-home";
    fs::create_directories(home);
    // The jack plugin takes float samples only; "plug" converts.
    std::ofstream(home / ".asoundrc")
        << "pcm." << kPcm << "_raw {\n  type jack\n  playback_ports {\n"
        << "    0 system:playback_1\n    1 system:playback_2\n  }\n}\n"
        << "pcm." << kPcm << " {\n  type plug\n  slave.pcm \"" << kPcm << "_raw\"\n}\n";
    return setenv("HOME", home.c_str(), 1) == 0;
}();

bool jackPluginInstalled() {
    for (const char* folder :
         {"/usr/lib/x86_64-linux-gnu/alsa-lib", "/usr/lib/aarch64-linux-gnu/alsa-lib", "/usr/lib/alsa-lib"}) {
        if (fs::exists(fs::path(folder) / "libasound_module_pcm_jack.so")) {
            return true;
        }
    }
    return false;
}

TEST(AlsaJackPacing, DoneMessagesComeAtTheServersPace) {
    ASSERT_TRUE(alsaConfigured);
    if (!jackPluginInstalled()) {
        GTEST_SKIP() << "ALSA's jack plugin (libasound2-plugins) is not installed";
    }
    platform::MessageQueue queue;
    AlsaOutput alsa(queue);
    std::vector<std::int16_t> buffers(kSlots * 2 * kFrames, 1000);
    const AlsaStatus opened = alsa.open(kPcm, 2, kRate, kFrames);
    ASSERT_TRUE(opened) << opened.error;
    for (int s = 0; s < kSlots; ++s) {
        ASSERT_TRUE(alsa.write(s, buffers.data() + s * 2 * kFrames, kFrames, 0));
    }
    const auto start = std::chrono::steady_clock::now();
    alsa.restart();
    for (int done = 0; done < kBuffers; ++done) {
        const auto message = queue.waitAndTake(std::chrono::seconds(2));
        ASSERT_TRUE(message.has_value()) << "after " << done << " buffers";
        const auto slot = static_cast<int>(message->first);
        ASSERT_TRUE(alsa.write(slot, buffers.data() + slot * 2 * kFrames, kFrames, 0));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // 86 buffers are 0.499 s; the first few fill ALSA's own buffer at once.
    EXPECT_GT(seconds, 0.4);
    EXPECT_LT(seconds, 5.0);  // a loaded machine runs the server late
    EXPECT_TRUE(alsa.release());
    EXPECT_TRUE(alsa.close());
}

}  // namespace
}  // namespace output
