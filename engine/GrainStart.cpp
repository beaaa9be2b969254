#include "engine/GrainStart.h"

#include "engine/FixedPoint.h"
#include "engine/ShapeTables.h"
#include "engine/Stream.h"
#include "sounds/AmpTable.h"
#include "sounds/Sound.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace engine {

namespace {

using sounds::kWholeSound;

constexpr double kStartUnitsPerStep = 65536.0;        // one Start step in position units
constexpr double kPositionScale = 1.0 / 268435456.0;  // 2^-28
constexpr double kGrainLenScale = 1.0 / 1048576.0;    // 2^-20: GrainLen² × rate × 2^-20 frames
constexpr double kTwoTo32 = 4294967296.0;
constexpr uint64_t kLengthRndDivisor = 96;
constexpr int32_t kShortGrainFrames = 100;
constexpr int32_t kShortestModulatedLength = 10;
constexpr int32_t kModulationUnits = 512;  // AM parameters span ±512
constexpr int32_t kPanRandomCentre = 8192;
constexpr int32_t kPanPosScale = 16;
constexpr int32_t kPanLimit = 4095;
constexpr int32_t kUnityAmp = 512;
constexpr double kSilenceSteps = 32768.0;  // one 16-bit step
constexpr double kPitchUnity = 6144.0;     // Pitch of the sound's own speed
constexpr double kPitchSpan = 8192.0;
constexpr int32_t kPitchAmUp = 32;
constexpr int32_t kPitchAmDown = 8;
constexpr double kAmSampleScale = 32767.0;
constexpr double kSpeedScale = 2048.0;  // speeds are converted with rateRatio in 1/2048 units
constexpr double kGlissOctaveUnits = 1024.0;
constexpr int32_t kEnvelopeRange = 256;  // Attack and Decay in 1/256 of the grain
constexpr int32_t kDecayRndScale = 1024;
constexpr int32_t kFullPhase = static_cast<int32_t>(kWholeSound);
constexpr int32_t kDecayStartPhase = static_cast<int32_t>(sounds::kPositionMask);

uint32_t startPosition(const Stream& stream, Lcg& rng) {
    int64_t offset = truncate(stream.current(Start) * kStartUnitsPerStep);
    const int32_t spread = stream.value(StartRnd);
    if (spread != 0) {
        const int32_t s = rng.draw();
        const int64_t d = truncate(stream.loopLen * kPositionScale * (s >> 8));
        const int64_t scaled = saturate32(d * spread) >> 8;
        offset += saturate32(scaled * spread) >> 4;
    }
    return addPosition(static_cast<uint32_t>(stream.loopPos), offset);
}

struct GrainLength {
    float nominal;      // Lf
    int32_t remaining;  // after the length randomness
};

GrainLength grainLength(const Stream& stream, Lcg& rng, uint32_t outputRate) {
    const double c = stream.current(GrainLen);
    const auto lf = static_cast<float>(c * c * outputRate * kGrainLenScale);
    const int64_t rounded = roundToNearest(lf);
    GrainLength length{lf, saturate32(rounded)};
    const int32_t q = stream.value(GrainLenRnd);
    if (q != 0) {
        const auto u = static_cast<uint32_t>(rng.draw());
        const uint64_t divisor = std::max<uint64_t>(static_cast<uint64_t>(truncate(kTwoTo32 / lf)), 1);
        auto y = static_cast<float>(u / divisor * static_cast<uint64_t>(q) / kLengthRndDivisor);
        if (y < kShortGrainFrames - static_cast<double>(lf))
            y = static_cast<float>(static_cast<double>(y) + lf);
        length.remaining = saturate32(truncate(y + static_cast<double>(rounded)));
    }
    return length;
}

int32_t modulatedLength(int32_t remaining, float lf, float a, int32_t m) {
    if (m > 0)
        return saturate32(remaining + roundToNearest(static_cast<double>(a) * lf * m / 64));
    if (m < 0) {
        const double z = (1.0 - a) * remaining * std::abs(m) / kModulationUnits;
        return z > kShortestModulatedLength ? saturate32(truncate(z)) : kShortestModulatedLength;
    }
    return remaining;
}

int32_t clampPan(int64_t p) {
    if (p >= kPanLimit + 1)
        return kPanLimit;
    if (p <= -(kPanLimit + 1))
        return -kPanLimit;
    return static_cast<int32_t>(p);
}

void setPanAndGains(Grain& grain, const Stream& stream, Lcg& rng, float a, uint32_t outputRate) {
    const int32_t s = rng.draw();
    const auto spread = static_cast<int32_t>(static_cast<uint32_t>(s) >> 18) - kPanRandomCentre;
    int32_t p = clampPan(spread * stream.value(PanRnd) / 256 + stream.value(PanPos) * kPanPosScale);
    const auto q = static_cast<float>(stream.value(PanAM) * (static_cast<double>(a) - 0.5) / 1024);
    p = clampPan(p > 0 ? truncate(static_cast<double>(p) + q) : truncate(static_cast<double>(p) - q));
    const auto& pan = panTable();
    grain.gainL = pan[static_cast<size_t>(kPanCentre + p)];
    grain.gainR = pan[static_cast<size_t>(kPanCentre - p)];
    grain.silenceLevel = static_cast<float>(1.0 / (kSilenceSteps * std::max(grain.gainL, grain.gainR)));

    const int32_t m = stream.value(AmpAM);
    const int32_t depth = std::abs(m);
    const double w = m >= 0 ? static_cast<double>(a) : 1.0 - a;
    // f = (|M| × w + (512 − |M|)) / 512, the first term already divided when it is rounded.
    const auto modulated = static_cast<float>(depth * w / kModulationUnits);
    const auto rest = static_cast<float>(kModulationUnits - depth);
    const double f = static_cast<double>(modulated) + static_cast<double>(rest) / kModulationUnits;
    grain.gainL = static_cast<float>(grain.gainL * f);
    grain.gainR = static_cast<float>(grain.gainR * f);

    grain.fixedGain = static_cast<uint32_t>(grain.remaining) < outputRate;
    if (grain.fixedGain) {
        const int64_t amp = truncate(stream.current(Amp));
        grain.gainL = static_cast<float>(static_cast<double>(grain.gainL) * amp / kUnityAmp);
        grain.gainR = static_cast<float>(static_cast<double>(grain.gainR) * amp / kUnityAmp);
    } else {
        grain.baseGainL = grain.gainL;
        grain.baseGainR = grain.gainR;
    }
}

// 2^e with e from the Pitch value; negative Pitch plays backwards, 0 holds the position.
double pitchRatio(float pitch) {
    if (pitch == 0.0f)
        return 0.0;
    const double magnitude = std::abs(static_cast<double>(pitch));
    const auto k = static_cast<float>(magnitude / (kPitchSpan - magnitude / 3));
    const auto e = static_cast<float>(magnitude >= kPitchUnity ? k - 1.0 : 1.0 - 1.0 / k);
    const double ratio = std::pow(2.0, static_cast<double>(e));
    return pitch > 0.0f ? ratio : -ratio;
}

// Returns speed0, the start speed before masking.
int32_t startSpeed(const Stream& stream, const sounds::Sound& sound, Lcg& rng, float a) {
    const double ratio = pitchRatio(stream.current(Pitch));
    const int64_t rnd = stream.value(PitchRnd);
    const int64_t s = rng.draw();
    const int64_t d = (((s >> 9) * rnd) / sound.frames) * rnd / 256;
    const int32_t m = stream.value(PitchAM);
    const int64_t depth = m > 0 ? int64_t{m} * kPitchAmUp : int64_t{m} * kPitchAmDown;
    const auto t = static_cast<float>(depth * static_cast<double>(a) * kAmSampleScale / sound.frames);
    const double n = ratio >= 0 ? ratio + 1 : ratio - 1;
    const auto u = static_cast<float>(n * t);
    const auto v = static_cast<float>(ratio * sound.unitsPerFrame);
    const auto w = static_cast<float>(v + (static_cast<double>(d) + u));
    return saturate32(truncate(w * kSpeedScale / sound.rateRatio + 0.5));
}

float glissandoSlope(const Stream& stream, Lcg& rng, float a, int32_t speed0, int32_t remaining) {
    const int32_t s = rng.draw();
    const int32_t gr = (s >> 16) * stream.value(GlissRnd) / 4096;
    const int32_t m = stream.value(GlissAM);
    const auto product = static_cast<float>(static_cast<double>(a) * kAmSampleScale * m);
    const double ga = m > 0 ? product / 4096.0 : product / 2048.0;
    const double g = ((static_cast<double>(stream.value(Gliss)) + gr) * 2 + ga) / kGlissOctaveUnits;
    const auto endSpeed = static_cast<float>(std::pow(2.0, g) * speed0);
    const auto change = static_cast<float>(static_cast<double>(endSpeed) - speed0);
    return remaining != 0 ? static_cast<float>(static_cast<double>(change) / remaining) : 0.0f;
}

void setEnvelope(Grain& grain, const Stream& stream, Lcg& rng) {
    const int64_t remaining = grain.remaining;
    const int32_t attack = stream.value(Attack);
    const int64_t attackFrames = remaining * attack / kEnvelopeRange;
    if (attackFrames > 0) {
        grain.attackPhase = 0;
        int64_t inc = kFullPhase / attackFrames;
        const int64_t s = rng.draw();
        const int64_t r = ((s >> 13) * stream.value(AttackRnd)) / attack;
        inc += r;
        grain.attackInc = saturate32(inc < 0 ? -r : inc);
    } else {
        grain.attackPhase = kFullPhase;
    }

    grain.decayPhase = kDecayStartPhase;
    int64_t decay = stream.value(Decay) * remaining / kEnvelopeRange;
    if (decay > 0) {
        const auto s = static_cast<uint32_t>(rng.draw());
        const int64_t h = std::max<int64_t>(kFullPhase / (decay + remaining) / 2, 1);
        const int64_t rr = (s >> 2) / h;
        decay -= stream.value(DecayRnd) * rr / kDecayRndScale;
        if (decay <= 0)
            decay = std::max<int64_t>(rr >> 4, 1);  // a decay of 0 frames becomes 1 frame
        grain.decayLen = saturate32(decay);
        grain.decayDec = saturate32(kFullPhase / decay);
    } else {
        grain.decayLen = static_cast<int32_t>(decay);
    }
}

}  // namespace

float loudnessAtGrain(const sounds::Sound& sound, uint32_t pos, int32_t lengthFrames) {
    auto x = static_cast<float>(pos / static_cast<double>(sound.unitsPerFrame) + 0.25 * lengthFrames);
    if (x > sound.frames)
        x = static_cast<float>(static_cast<double>(x) - sound.frames);
    return sounds::ampAt(sound.ampTable, truncate(x / static_cast<double>(sounds::kAmpTableFrames)));
}

void shapeGrain(Grain& grain, Stream& stream, sounds::Sound& sound, Lcg& rng, uint32_t outputRate) {
    grain.stream = &stream;
    grain.sound = &sound;
    grain.pos = startPosition(stream, rng);
    const GrainLength length = grainLength(stream, rng, outputRate);
    const float a = loudnessAtGrain(sound, grain.pos, length.remaining);
    grain.remaining = modulatedLength(length.remaining, length.nominal, a, stream.value(GrainLenAM));
    setPanAndGains(grain, stream, rng, a, outputRate);
    const int32_t speed0 = startSpeed(stream, sound, rng, a);
    grain.speed = static_cast<uint32_t>(speed0) & sounds::kPositionMask;
    grain.speedSlope = glissandoSlope(stream, rng, a, speed0, grain.remaining);
    setEnvelope(grain, stream, rng);
}

}  // namespace engine
