#include "engine/StreamClocks.h"

#include "engine/FixedPoint.h"
#include "sounds/AmpTable.h"

namespace engine {

namespace {

constexpr int64_t kLengthUnits = 65536;  // one Length or Start step in position units
constexpr double kRateBase = 6000.0;
constexpr double kRateScaleStep = 11.0;
constexpr int64_t kSpeedScale = 2048;
constexpr double kModulationUnits = 512.0;
constexpr double kFreqScale = 35.0;
constexpr double kFreqPole = 16670.0;
constexpr int32_t kRandomClockLimit = 0x20000000;
constexpr int64_t kRandomClockSpan = int64_t{1} << 29;
constexpr double kFreqRndUnits = 256.0;
constexpr int32_t kLengthRndDivisor = 16;

}  // namespace

float loudnessAtLoop(const Stream& stream) {
    const sounds::Sound& sound = *stream.sound;
    const uint32_t p =
        addPosition(static_cast<uint32_t>(stream.loopPos), int64_t{stream.value(Start)} * kLengthUnits);
    const int64_t f = truncate(p / static_cast<double>(sound.unitsPerFrame));
    return sounds::ampAt(sound.ampTable, f / sounds::kAmpTableFrames);
}

void updateStreamRates(Stream& stream, Lcg& rng) {
    const sounds::Sound& sound = *stream.sound;
    const float a = loudnessAtLoop(stream);

    const double u = sound.unitsPerFrame;
    const int64_t r1 =
        roundToNearest(stream.current(Rate) * u / (kRateBase - stream.current(RateScale) * kRateScaleStep));
    const auto loudRate = static_cast<float>(r1 * static_cast<double>(a) / kModulationUnits);
    const int64_t r2 = roundToNearest(loudRate * static_cast<double>(stream.current(RateAM)));
    stream.loopRate = saturate32((r1 + r2) * kSpeedScale) / sound.rateRatio;

    stream.loopLen = wrapAdd(static_cast<int32_t>(stream.value(Length) * kLengthUnits), stream.loopLenDev);

    const double freq = stream.current(Freq);
    const auto clock = static_cast<float>(sound.clockUnit * freq * kFreqScale);
    int64_t g = truncate(clock / (kFreqPole - freq));
    if (g < kRandomClockLimit) {
        const int32_t s = rng.draw();
        const int64_t divisor = g > 0 ? kRandomClockSpan / g : 0;
        const int64_t quotient = divisor != 0 ? s / divisor : 0;
        g += truncate(quotient * static_cast<double>(stream.current(FreqRnd)) / kFreqRndUnits);
    }
    const auto loudClock = static_cast<float>(g * static_cast<double>(a) / kModulationUnits);
    g += roundToNearest(loudClock * static_cast<double>(stream.current(FreqAM)));
    stream.grainPhaseInc = saturate32(g);
    stream.ampNow = stream.value(Amp);
}

bool advanceLoop(Stream& stream, Lcg& rng) {
    stream.loopPos = wrapAdd(stream.loopPos, int64_t{kBlockFrames} * stream.loopRate);
    bool wrapped = false;
    if (stream.loopPos > stream.loopLen) {
        wrapped = true;
        stream.loopPos = wrapAdd(stream.loopPos, -int64_t{stream.loopLen});
    } else if (stream.loopPos < 0) {
        wrapped = true;
        stream.loopPos = wrapAdd(stream.loopPos, stream.loopLen);
    }
    if (!wrapped)
        return false;
    stream.loopLenDev = 0;
    const int32_t q = stream.value(LengthRnd);
    if (q != 0)
        // In 64 bits: a patch from a bank or a gesture mix may hold LengthRnd beyond its range of 256,
        // where the 32-bit product would overflow. In range the result is the same.
        stream.loopLenDev = static_cast<int32_t>((int64_t{rng.draw() >> 8} * q) / kLengthRndDivisor);
    if (stream.hardSync.load(std::memory_order_relaxed) != 0)
        stream.grainPhase = sounds::kWholeSound;
    return true;
}

}  // namespace engine
