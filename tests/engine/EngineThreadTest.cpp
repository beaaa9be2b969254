// Drives the render cycle on one thread while another moves parameters, mutes and solos streams and
// exchanges sounds, as the audio and user-interface threads do. Run it under ThreadSanitizer
// (-DFRISSON_SANITIZE=thread) to check the engine's thread contract.
#include "engine/Engine.h"
#include "sounds/SoundTable.h"
#include "tests/engine/TestSounds.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace {

using namespace engine;

TEST(EngineThreads, RenderingWhileParametersAndSoundsChange) {
    constexpr uint32_t kRate = 22050;
    constexpr int kPeriods = 300;
    sounds::SoundTable table(kRate);
    // Two sounds the test itself holds a reference to, so exchanging never frees them.
    sounds::Sound& mono = enginetest::makeSound(table, 0, 20000, 1, 44100,
                                                [](int32_t i, int) { return std::sin(i * 0.01f) * 0.5f; });
    sounds::Sound& stereo = enginetest::makeSound(
        table, 1, 30000, 2, 22050, [](int32_t i, int c) { return c == 0 ? 0.3f : -0.2f * (i % 7); });
    Engine engine(table, {.rate = kRate, .stereo = true, .framesPerBuffer = 128, .bufferCount = 4});
    for (int s = 1; s < 4; ++s)
        engine.createStream();
    for (int s = 0; s < 4; ++s)
        engine.setParameter(s, Freq, 14000, 1.0);  // dense: hundreds of grains per second
    engine.playStart();

    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<int16_t> out(engine.samplesPerBuffer());
        for (int p = 0; p < kPeriods; ++p)
            engine.periodCallback(out.data());
        done = true;
    });

    int round = 0;
    while (!done) {
        const int s = round % 4;
        engine.setParameter(s, Pitch, 2000 + 97 * (round % 100));
        engine.setParameter(s, PanRnd, round % 256, 6.4);
        engine.setParameter(s, ChangeTime, 1 + round % 64);
        sounds::Sound* next = (round % 3 == 0) ? &mono : &stereo;
        if (round % 5 == 4) {
            engine.useTestTone(s);
        } else {
            ASSERT_EQ(table.findOrAllocate(next->path), next);  // count the new user
            engine.attachSound(s, *next);
        }
        if (round % 7 == 0)
            engine.soloStream(s);
        else if (round % 7 == 3)
            for (int k = 0; k < 4; ++k)
                engine.setStreamState(k, Active);
        else if (round % 11 == 0)
            engine.setStreamState(s, Muted);
        ++round;
        std::this_thread::yield();
    }
    audio.join();
    EXPECT_GT(round, 0);
    EXPECT_EQ(engine.callbacksTotal(), static_cast<uint32_t>(kPeriods));
    EXPECT_GT(mono.refCount + stereo.refCount, 2) << "the test's own references remain";
}

}  // namespace
