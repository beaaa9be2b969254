// The wide grain renderer, compiled once per SIMD instruction set (Highway's foreach_target) and
// dispatched at run time. Eight frames of a grain are one block; on 128-bit instruction sets a
// block is two vectors of four.
#include "engine/GrainBlocks.h"
#include "engine/FixedPoint.h"
#include "engine/GrainRender.h"
#include "engine/Kernels.h"
#include "engine/ShapeTables.h"
#include "engine/Stream.h"
#include "sounds/Sound.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <type_traits>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "engine/GrainBlocks.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace engine {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;
using DF = hn::CappedTag<float, kFramesPerBlock>;
using DI = hn::RebindToSigned<DF>;
using DU = hn::RebindToUnsigned<DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;
using VU = hn::Vec<DU>;

constexpr auto kWhole = static_cast<int32_t>(sounds::kWholeSound);

// The kernels in single precision, term for term as the reference kernels write them.
template <Interpolation kind>
struct WideKernel;

template <>
struct WideKernel<Interpolation::Linear> {
    static constexpr int kFramesRead = LinearKernel::kFramesRead;
    template <class V>
    static V of(const V* s, V t) {
        return hn::Add(s[0], hn::Mul(hn::Sub(s[1], s[0]), t));
    }
};

template <>
struct WideKernel<Interpolation::Cubic> {
    static constexpr int kFramesRead = CubicKernel::kFramesRead;
    template <class V>
    static V of(const V* s, V t) {
        const V a0 = hn::Add(hn::Sub(hn::Sub(s[3], s[2]), s[0]), s[1]);
        const V a1 = hn::Sub(hn::Sub(s[0], s[1]), a0);
        const V a2 = hn::Sub(s[2], s[0]);
        return hn::Add(hn::Mul(hn::Add(hn::Mul(hn::Add(hn::Mul(a0, t), a1), t), a2), t), s[1]);
    }
};

template <>
struct WideKernel<Interpolation::Spline> {
    static constexpr int kFramesRead = SplineKernel::kFramesRead;
    template <class V>
    static V of(const V* s, V t) {
        const hn::DFromV<V> d;
        const auto k = [d](float c) { return hn::Set(d, c); };
        const V d31 = hn::Sub(s[3], s[1]);
        const V d04 = hn::Sub(s[0], s[4]);
        const V s31 = hn::Add(s[3], s[1]);
        const V d32 = hn::Sub(s[3], s[2]);
        const V d14 = hn::Sub(s[1], s[4]);
        const V d50 = hn::Sub(s[5], s[0]);
        const V c5 = hn::Add(hn::Add(hn::Mul(k(50), d32), hn::Mul(k(25), d14)), hn::Mul(k(5), d50));
        V c4 = hn::Sub(hn::Mul(k(126), s[2]), hn::Mul(k(124), s[3]));
        c4 = hn::Add(c4, hn::Mul(k(61), s[4]));
        c4 = hn::Sub(c4, hn::Mul(k(64), s[1]));
        c4 = hn::Sub(c4, hn::Mul(k(12), s[5]));
        c4 = hn::Add(c4, hn::Mul(k(13), s[0]));
        V c3 = hn::Sub(hn::Mul(k(66), s[3]), hn::Mul(k(70), s[2]));
        c3 = hn::Sub(c3, hn::Mul(k(33), s[4]));
        c3 = hn::Add(c3, hn::Mul(k(39), s[1]));
        c3 = hn::Add(c3, hn::Mul(k(7), s[5]));
        c3 = hn::Sub(c3, hn::Mul(k(9), s[0]));
        const V c2 = hn::Sub(hn::Sub(hn::Sub(hn::Mul(k(16), s31), s[0]), hn::Mul(k(30), s[2])), s[4]);
        const V c1 = hn::Add(hn::Mul(k(16), d31), hn::Mul(k(2), d04));
        V p = hn::Add(c4, hn::Mul(t, c5));
        p = hn::Add(c3, hn::Mul(t, p));
        p = hn::Add(c2, hn::Mul(t, p));
        p = hn::Add(c1, hn::Mul(t, p));
        return hn::Add(s[2], hn::Mul(hn::Mul(t, k(static_cast<float>(1.0 / 24.0))), p));
    }
};

// pos / divisor for every lane: 32 × 32 → 64-bit products of the even and the odd lanes.
template <class V>
V quotient(V pos, const PositionDivider& frames) {
    const hn::DFromV<V> du;
#if HWY_TARGET == HWY_SCALAR
    return hn::Set(du, frames.quotient(hn::GetLane(pos)));
#else
    const hn::Repartition<uint64_t, decltype(du)> d64;
    const V m = hn::Set(du, frames.multiplier);
    const auto even = hn::ShiftRightSame(hn::MulEven(pos, m), frames.shift);
    const V oddLanes = hn::BitCast(du, hn::ShiftRight<32>(hn::BitCast(d64, pos)));
    const auto odd = hn::ShiftRightSame(hn::MulEven(oddLanes, m), frames.shift);
    return hn::OddEven(hn::BitCast(du, hn::ShiftLeft<32>(odd)), hn::BitCast(du, even));
#endif
}

// Whether the wide path covers this block of the grain: not its first block (which starts part
// of the way in), and a decay that does not run out inside the block.
HWY_INLINE bool wideBlock(const Grain& grain, bool decaying) {
    if (grain.frameCount < 0)
        return false;
    if (decaying && int64_t{grain.decayPhase} - int64_t{kFramesPerBlock} * grain.decayDec < 0)
        return false;
    const bool attacking = grain.attackPhase < kWhole;
    return !attacking || (grain.attackInc >= 0 && grain.attackInc <= kWhole);
}

// The rise of the envelope for a vector of frames at `phase`: the table's entries while the phase
// rises, 1 once it has risen. `throughout` says, from the block's first phase, that every frame of
// the block still rises; the count of rising frames, added to `steps` otherwise, is then the whole
// block, and the next block's phase need not wait for the table lookup to count it.
HWY_INLINE VF riseValues(VI phase, bool throughout, const float* table, size_t& steps) {
    const DF df;
    const DI di;
    if (throughout)
        return hn::GatherIndex(df, table, hn::ShiftRight<kEnvelopeShift>(phase));
    const auto rising = phase < hn::Set(di, kWhole);
    steps += hn::CountTrue(di, rising);
    const VI index = hn::IfThenElseZero(rising, hn::ShiftRight<kEnvelopeShift>(phase));
    return hn::IfThenElse(hn::RebindMask(df, rising), hn::GatherIndex(df, table, index), hn::Set(df, 1.0f));
}

// Envelope table entries for a vector of frames whose phases step evenly from `phase` by `step`
// a frame (as unsigned words wrap, so a decay steps down): one load of one entry a lane. They are
// the entries a gather would fetch; on many processors a gather costs several times as much.
HWY_INLINE VF steppedEntries(const float* table, uint32_t phase, uint32_t step) {
    const DF df;
    alignas(32) float entries[kFramesPerBlock];
    for (size_t i = 0; i < hn::Lanes(df); ++i, phase += step)
        entries[i] = table[phase >> kEnvelopeShift];
    return hn::Load(df, entries);
}

// Whether a steady grain's envelope entries come from single loads instead of a gather. The
// cores with AVX-512 gather fast, and their sixteen-lane pairs leave few blocks to the single
// loads, which then cost more than they save.
constexpr bool kEntriesByLoads = HWY_TARGET > HWY_AVX3;

// Envelope table entries for a vector of frames of a decay from `phase`, stepping by `down` a
// frame (the decrement as an unsigned word wraps).
HWY_INLINE VF decayEntries(const float* table, uint32_t phase, uint32_t down) {
    if constexpr (kEntriesByLoads) {
        return steppedEntries(table, phase, down);
    } else {
        const DF df;
        const DU du;
        const VU phases = hn::Add(hn::Set(du, phase), hn::Mul(hn::Iota(du, 0u), hn::Set(du, down)));
        return hn::GatherIndex(df, table, hn::BitCast(DI(), hn::ShiftRight<kEnvelopeShift>(phases)));
    }
}

// Whether a rise at `phase` by `inc` a frame still rises at the block's last frame.
HWY_INLINE bool risesThroughBlock(int32_t phase, int32_t inc) {
    return int64_t{phase} + int64_t{kFramesPerBlock - 1} * inc < kWhole;
}

// Envelope values of the block's eight frames (0 where the grain is below its silence level), and
// the envelope phases advanced past them. Returns whether any frame is audible.
HWY_INLINE bool envelopeBlock(Grain& grain, bool decaying, const float* table, float* env) {
    const DF df;
    const DI di;
    const DU du;
    const size_t lanes = hn::Lanes(df);
    const bool attacking = grain.attackPhase < kWhole;
    const bool throughout = attacking && risesThroughBlock(grain.attackPhase, grain.attackInc);
    size_t attackSteps = throughout ? kFramesPerBlock : 0;
    bool audible = false;
    for (size_t j = 0; j < kFramesPerBlock; j += lanes) {
        const VI step = hn::Iota(di, static_cast<int32_t>(j));
        VF e = hn::Set(df, 1.0f);
        if (attacking) {
            // attackInc ≤ 2^28 keeps phase + 7 × inc below 2^31.
            const VI phase = hn::BitCast(
                di,
                hn::Add(hn::Set(du, static_cast<uint32_t>(grain.attackPhase)),
                        hn::Mul(hn::BitCast(du, step), hn::Set(du, static_cast<uint32_t>(grain.attackInc)))));
            e = riseValues(phase, throughout, table, attackSteps);
        }
        if (decaying) {
            const VI phase =
                hn::Sub(hn::Set(di, grain.decayPhase), hn::Mul(step, hn::Set(di, grain.decayDec)));
            e = hn::Mul(e, hn::GatherIndex(df, table, hn::ShiftRight<kEnvelopeShift>(phase)));
        }
        const auto loud = e >= hn::Set(df, grain.silenceLevel);
        audible = audible || !hn::AllFalse(df, loud);
        hn::Store(hn::IfThenElseZero(loud, e), df, env + j);
    }
    if (attacking)
        grain.attackPhase =
            static_cast<int32_t>(static_cast<uint32_t>(grain.attackPhase) +
                                 static_cast<uint32_t>(attackSteps) * static_cast<uint32_t>(grain.attackInc));
    if (decaying)
        grain.decayPhase -= kFramesPerBlock * grain.decayDec;
    return audible;
}

// The positions of the block's eight frames of a gliding grain, and the grain's position and frame
// count after them. Grains at a steady speed are planned by planSteadyBlocks.
HWY_INLINE void positionBlock(Grain& grain, uint32_t* pos) {
    uint32_t p = grain.pos;
    for (int j = 0; j < kFramesPerBlock; ++j) {
        pos[j] = p;
        p = addPosition(
            p, roundToNearest(grain.speed + static_cast<double>(grain.speedSlope) * (grain.frameCount + j)));
    }
    grain.pos = p;
    grain.frameCount += kFramesPerBlock;
}

// The kernel's taps for every lane: tap k of lane i is channel[first_i + k × stride].
template <int taps, class VInt, class VFloat>
HWY_INLINE void gatherTaps(const float* channel, VInt first, int32_t stride, VFloat* out) {
    const hn::DFromV<VFloat> df;
    for (int k = 0; k < taps; ++k)
        out[k] = hn::GatherIndex(df, channel + k * stride, first);
}

#if HWY_TARGET <= HWY_AVX2
// Tap k of every lane i from the sixteen samples low:high, at index_i + k.
template <int taps>
HWY_INLINE void pickTaps(VF low, VF high, VI index, VF* out) {
    const DF df;
    const DI di;
#if HWY_TARGET <= HWY_AVX3
    // AVX-512 picks from sixteen lanes of two registers in one instruction (Highway has no
    // two-table lookup yet).
    for (int k = 0; k < taps; ++k) {
        const VI at = hn::Add(index, hn::Set(di, k));
        out[k] = VF{_mm256_permutex2var_ps(low.raw, at.raw, high.raw)};
    }
#else
    const VI seven = hn::Set(di, kFramesPerBlock - 1);
    for (int k = 0; k < taps; ++k) {
        const VI at = hn::Add(index, hn::Set(di, k));
        const auto lanes = hn::IndicesFromVec(df, hn::And(at, seven));
        out[k] = hn::IfThenElse(hn::RebindMask(df, at > seven), hn::TableLookupLanes(high, lanes),
                                hn::TableLookupLanes(low, lanes));
    }
#endif
}

// Each lane's first frame less the block's lowest, in `index`, and that lowest frame, in `base`,
// when every lane's taps lie within the sixteen frames from it and those frames, of `stride`
// samples each, may be loaded from the `readable` samples.
template <int taps>
HWY_INLINE bool windowIndex(VI first, int32_t stride, size_t readable, int32_t& base, VI& index) {
    constexpr int32_t kWindow = 2 * kFramesPerBlock;
    const DI di;
    const DU du;
    const auto a = static_cast<int32_t>(hn::GetLane(first));
    const auto b = static_cast<int32_t>(hn::ExtractLane(first, kFramesPerBlock - 1));
    base = std::min(a, b);
    if (base < 0 || static_cast<size_t>(stride) * (static_cast<size_t>(base) + kWindow) > readable)
        return false;
    index = hn::Sub(first, hn::Set(di, base));
    // One unsigned comparison tells negative indices and those past the window apart.
    return hn::AllTrue(du, hn::BitCast(du, index) < hn::Set(du, static_cast<uint32_t>(kWindow - taps + 1)));
}
#endif

// The same taps of a mono sound from two loads of eight frames each, when every lane's frames lie
// within those sixteen (grains near the original pitch). Gathers are slow on many processors;
// lane shuffles are not. The values are the same, so the bytes rendered do not change. `readable`
// is how many samples from `channel` may be loaded. Returns false (nothing written) when the
// frames do not fit.
template <int taps>
HWY_INLINE bool windowTaps(const float* channel, VI first, size_t readable, VF* out) {
#if HWY_TARGET <= HWY_AVX2
    const DF df;
    int32_t base = 0;
    VI index;
    if (!windowIndex<taps>(first, 1, readable, base, index))
        return false;
    pickTaps<taps>(hn::LoadU(df, channel + base), hn::LoadU(df, channel + base + kFramesPerBlock), index,
                   out);
    return true;
#else
    (void)channel, (void)first, (void)readable, (void)out;
    return false;
#endif
}

// The taps of one channel of a stereo sound, whose frames interleave two samples: sixteen frames
// (four loads) are split into the channel's samples, then picked from as from a mono sound.
// `frame` holds each lane's first frame and `readable` counts the samples that may be loaded from
// `channel`. Returns false (nothing written) when the frames do not fit.
template <int taps>
HWY_INLINE bool stereoWindowTaps(const float* channel, VI frame, size_t readable, VF* out) {
#if HWY_TARGET <= HWY_AVX2
    const DF df;
    int32_t base = 0;
    VI index;
    if (!windowIndex<taps>(frame, 2, readable, base, index))
        return false;
    const float* at = channel + 2 * static_cast<size_t>(base);
    const __m256 v0 = hn::LoadU(df, at).raw, v1 = hn::LoadU(df, at + 8).raw;
    const __m256 v2 = hn::LoadU(df, at + 16).raw, v3 = hn::LoadU(df, at + 24).raw;
#if HWY_TARGET <= HWY_AVX3
    const __m256i even = _mm256_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14);
    const VF low{_mm256_permutex2var_ps(v0, even, v1)};
    const VF high{_mm256_permutex2var_ps(v2, even, v3)};
#else
    // The even samples of each 128-bit half, then the halves' 64-bit pairs in order.
    const auto evens = [](__m256 x, __m256 y) {
        const __m256 mixed = _mm256_shuffle_ps(x, y, _MM_SHUFFLE(2, 0, 2, 0));
        return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(mixed), _MM_SHUFFLE(3, 1, 2, 0)));
    };
    const VF low{evens(v0, v1)};
    const VF high{evens(v2, v3)};
#endif
    pickTaps<taps>(low, high, index, out);
    return true;
#else
    (void)channel, (void)frame, (void)readable, (void)out;
    return false;
#endif
}

#if HWY_TARGET <= HWY_AVX3
// Sixteen lanes: two blocks of a grain at once on AVX-512.
using DF16 = hn::FixedTag<float, 2 * kFramesPerBlock>;
using DI16 = hn::RebindToSigned<DF16>;
using DU16 = hn::RebindToUnsigned<DF16>;
using VF16 = hn::Vec<DF16>;
using VI16 = hn::Vec<DI16>;
using VU16 = hn::Vec<DU16>;

// The same for sixteen lanes: every lane's taps within two loads of sixteen samples.
template <int taps>
HWY_INLINE bool windowTaps(const float* channel, VI16 first, size_t readable, VF16* out) {
    const DF16 df;
    const DI16 di;
    constexpr int32_t kWindow = 4 * kFramesPerBlock;
    const auto a = static_cast<int32_t>(hn::GetLane(first));
    const auto b = static_cast<int32_t>(hn::ExtractLane(first, 2 * kFramesPerBlock - 1));
    const int32_t base = std::min(a, b);
    if (static_cast<size_t>(base) + kWindow > readable)
        return false;
    const VI16 index = hn::Sub(first, hn::Set(di, base));
    // One unsigned comparison tells negative indices and those past the window apart.
    const DU16 du;
    const auto inside = hn::BitCast(du, index) < hn::Set(du, static_cast<uint32_t>(kWindow - taps + 1));
    if (!hn::AllTrue(du, inside))
        return false;
    const VF16 low = hn::LoadU(df, channel + base);
    const VF16 high = hn::LoadU(df, channel + base + 2 * kFramesPerBlock);
    for (int k = 0; k < taps; ++k) {
        const VI16 at = hn::Add(index, hn::Set(di, k));
        out[k] = VF16{_mm512_permutex2var_ps(low.raw, at.raw, high.raw)};
    }
    return true;
}

// The taps of one channel of a stereo sound for sixteen lanes: thirty-two frames in eight loads.
template <int taps>
HWY_INLINE bool stereoWindowTaps(const float* channel, VI16 frame, size_t readable, VF16* out) {
    const DF16 df;
    const DI16 di;
    const DU16 du;
    constexpr int32_t kWindow = 4 * kFramesPerBlock;  // frames
    const auto a = static_cast<int32_t>(hn::GetLane(frame));
    const auto b = static_cast<int32_t>(hn::ExtractLane(frame, 2 * kFramesPerBlock - 1));
    const int32_t base = std::min(a, b);
    if (base < 0 || 2 * static_cast<size_t>(base) + 2 * kWindow > readable)
        return false;
    const VI16 index = hn::Sub(frame, hn::Set(di, base));
    if (!hn::AllTrue(du, hn::BitCast(du, index) < hn::Set(du, static_cast<uint32_t>(kWindow - taps + 1))))
        return false;
    const float* at = channel + 2 * static_cast<size_t>(base);
    const __m512i even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512 low = _mm512_permutex2var_ps(hn::LoadU(df, at).raw, even, hn::LoadU(df, at + 16).raw);
    const __m512 high = _mm512_permutex2var_ps(hn::LoadU(df, at + 32).raw, even, hn::LoadU(df, at + 48).raw);
    for (int k = 0; k < taps; ++k) {
        const VI16 pick = hn::Add(index, hn::Set(di, k));
        out[k] = VF16{_mm512_permutex2var_ps(low, pick.raw, high)};
    }
    return true;
}
#endif

// The taps of one channel from loads and lane picks where the instruction set and the frames
// allow, else (returning false, nothing written) from a gather.
template <int taps, class VInt, class VFloat>
HWY_INLINE bool channelWindowTaps(const float* channel, VInt frame, int32_t stride, size_t readable,
                                  VFloat* out) {
    if (stride == 1)
        return windowTaps<taps>(channel, frame, readable, out);
    if (stride == 2)
        return stereoWindowTaps<taps>(channel, frame, readable, out);
    return false;
}

// Up to this many blocks of a grain are planned before they are mixed.
constexpr int kPlannedBlocks = 16;

// The envelope values and positions of the blocks of one grain that the wide path mixes, and
// where each block lies in the run.
struct BlockPlan {
    alignas(64) float env[kPlannedBlocks][kFramesPerBlock];
    alignas(64) uint32_t pos[kPlannedBlocks][kFramesPerBlock];
    int block[kPlannedBlocks];
    int count = 0;
};

// Steps the grain through one block. A block the wide path covers, and in which some frame is
// audible, is added to the plan; a block it does not cover is rendered by the reference renderer
// into `dest` at once. Thread: audio.
HWY_INLINE void planBlock(Grain& grain, int block, BlockPlan& plan, const float* envelope, float* dest,
                          int channels, StereoLayout stereo, int32_t channelSelect, Interpolation kind) {
    const bool decaying = grain.remaining <= grain.decayLen;
    if (decaying && grain.decayPhase < 0)
        return;  // the decay is spent: silent until its count runs out
    if (!wideBlock(grain, decaying)) {
        renderGrainBlockReference(grain, dest, channels, channelSelect, kind, stereo);
        return;
    }
    const int n = plan.count;
    const bool audible = envelopeBlock(grain, decaying, envelope, plan.env[n]);
    positionBlock(grain, plan.pos[n]);
    if (audible) {
        plan.block[n] = block;
        plan.count = n + 1;
    }
}

#if HWY_TARGET <= HWY_AVX3
// Envelope table entries for sixteen lanes. The phases of sixteen frames of a grain of a tenth
// of a second or longer span fewer than 64 entries, so four loads and two-register lane picks
// replace the gather, which costs far more on many processors. The values are the same entries.
HWY_INLINE VF16 envelopeValues16(const float* table, VI16 index) {
    const DF16 df;
    const DI16 di;
    const DU16 du;
    constexpr int32_t kWindow = 64;
    const auto a = static_cast<int32_t>(hn::GetLane(index));
    const auto b = static_cast<int32_t>(hn::ExtractLane(index, 2 * kFramesPerBlock - 1));
    const int32_t base = std::min(a, b);
    const VI16 at = hn::Sub(index, hn::Set(di, base));
    if (static_cast<size_t>(base) + kWindow > kEnvelopeSteps + kEnvelopeTail ||
        !hn::AllTrue(du, hn::BitCast(du, at) < hn::Set(du, uint32_t{kWindow})))
        return hn::GatherIndex(df, table, index);
    const float* window = table + base;
    const __m512 low =
        _mm512_permutex2var_ps(hn::LoadU(df, window).raw, at.raw, hn::LoadU(df, window + 16).raw);
    const __m512 high =
        _mm512_permutex2var_ps(hn::LoadU(df, window + 32).raw, at.raw, hn::LoadU(df, window + 48).raw);
    const __mmask16 upper = _mm512_test_epi32_mask(at.raw, _mm512_set1_epi32(32));
    return VF16{_mm512_mask_blend_ps(upper, low, high)};
}

// Two steady blocks in one sixteen-lane register, when both are in the same part of the envelope
// and an attack rises through all sixteen frames: lane j then holds what frame j % 8 of block
// j / 8 holds in the eight-lane steps, since the phases and masked positions of the second block
// are those of the first advanced by eight frames.
struct SteadyPair {
    uint32_t attackInc;
    int32_t decayDec;
    int32_t decayLen;
    uint32_t speed;
    float silenceLevel;
    // Lane j's steps from the first frame (j × inc, j × dec, j × speed), multiplied once per grain:
    // a 32-bit vector multiplication is slow on many processors.
    VU16 attackStep;
    VI16 decayStep;
    VU16 posStep;

    SteadyPair(uint32_t attackInc, int32_t decayDec, int32_t decayLen, uint32_t speed, float silenceLevel)
        : attackInc(attackInc),
          decayDec(decayDec),
          decayLen(decayLen),
          speed(speed),
          silenceLevel(silenceLevel) {
        const DU16 du;
        const VU16 iota = hn::Iota(du, 0u);
        attackStep = hn::Mul(iota, hn::Set(du, attackInc));
        decayStep = hn::BitCast(DI16(), hn::Mul(iota, hn::Set(du, static_cast<uint32_t>(decayDec))));
        posStep = hn::Mul(iota, hn::Set(du, speed));
    }

    // Plans blocks b and b + 1 and advances the state past them, or returns false (nothing done)
    // when they cannot go together.
    HWY_INLINE bool plan(int32_t& remaining, int32_t& attackPhase, int32_t& decayPhase, uint32_t& pos, int b,
                         BlockPlan& out, int& n, const float* table) const {
        constexpr int64_t kFrames = 2 * kFramesPerBlock;
        const bool decaying = remaining <= decayLen;
        if (decaying != (remaining - kFramesPerBlock <= decayLen))
            return false;
        if (decaying && (decayPhase < 0 || int64_t{decayPhase} - kFramesPerBlock * int64_t{decayDec} < 0 ||
                         int64_t{decayPhase} - kFrames * decayDec < 0))
            return false;
        const bool attacking = attackPhase < kWhole;
        if (attacking && int64_t{attackPhase} + (kFrames - 1) * int64_t{attackInc} >= kWhole)
            return false;
        const DF16 df;
        const DI16 di;
        const DU16 du;
        VF16 e = hn::Set(df, 1.0f);
        if (attacking) {
            const VI16 phase =
                hn::BitCast(di, hn::Add(hn::Set(du, static_cast<uint32_t>(attackPhase)), attackStep));
            e = envelopeValues16(table, hn::ShiftRight<kEnvelopeShift>(phase));
        }
        if (decaying) {
            // The unsigned subtraction wraps where the signed one would; phases stay non-negative.
            const VI16 phase = hn::BitCast(
                di, hn::Sub(hn::Set(du, static_cast<uint32_t>(decayPhase)), hn::BitCast(du, decayStep)));
            e = hn::Mul(e, envelopeValues16(table, hn::ShiftRight<kEnvelopeShift>(phase)));
        }
        const auto loud = e >= hn::Set(df, silenceLevel);
        const VF16 env = hn::IfThenElseZero(loud, e);
        const VU16 at = hn::And(hn::Add(hn::Set(du, pos), posStep), hn::Set(du, sounds::kPositionMask));
        const auto bits = static_cast<uint32_t>(loud.raw);
        const DF half;
        const hn::Half<DU16> halfU;
        if (bits & 0xFFu) {
            if (bits >> kFramesPerBlock) {
                hn::StoreU(env, df, out.env[n]);
                hn::StoreU(at, du, out.pos[n]);
                out.block[n++] = b;
                out.block[n++] = b + 1;
            } else {
                hn::Store(hn::LowerHalf(half, env), half, out.env[n]);
                hn::Store(hn::LowerHalf(halfU, at), halfU, out.pos[n]);
                out.block[n++] = b;
            }
        } else if (bits >> kFramesPerBlock) {
            hn::Store(hn::UpperHalf(half, env), half, out.env[n]);
            hn::Store(hn::UpperHalf(halfU, at), halfU, out.pos[n]);
            out.block[n++] = b + 1;
        }
        if (attacking)
            attackPhase = static_cast<int32_t>(static_cast<uint32_t>(attackPhase) + kFrames * attackInc);
        if (decaying)
            decayPhase -= static_cast<int32_t>(kFrames) * decayDec;
        pos = (pos + static_cast<uint32_t>(kFrames) * speed) & sounds::kPositionMask;
        remaining -= static_cast<int32_t>(kFrames);
        return true;
    }
};
#endif

// Plans the blocks from `b` on for as long as the grain stays where planBlock would take the wide
// path for each: past its first block, at a steady speed, with attack steps in range and a decay
// that does not run out within the block. It does what envelopeBlock and positionBlock do, with
// the grain's state in registers and the per-grain vectors set up once. Returns the first block
// it did not plan.
HWY_INLINE int planSteadyBlocks(Grain& grain, int b, int blocks, BlockPlan& plan, const float* table) {
    if (grain.frameCount < 0 || grain.speedSlope != 0.0f)
        return b;
    const bool attackStepsInRange = grain.attackInc >= 0 && grain.attackInc <= kWhole;
    const DF df;
    const DI di;
    const DU du;
    constexpr size_t kLanes = HWY_MIN(size_t{kFramesPerBlock}, HWY_LANES(float));
    constexpr size_t kChunks = kFramesPerBlock / kLanes;
    VU attackStep[kChunks], posStep[kChunks];
    for (size_t c = 0; c < kChunks; ++c) {
        const VU iota = hn::Iota(du, static_cast<uint32_t>(c * kLanes));
        attackStep[c] = hn::Mul(iota, hn::Set(du, static_cast<uint32_t>(grain.attackInc)));
        posStep[c] = hn::Mul(iota, hn::Set(du, grain.speed));
    }
    const VF silence = hn::Set(df, grain.silenceLevel);
    const VU mask = hn::Set(du, sounds::kPositionMask);
    const auto attackInc = static_cast<uint32_t>(grain.attackInc);
    const int32_t decayDec = grain.decayDec;
    const int32_t decayLen = grain.decayLen;
    const uint32_t speed = grain.speed;
    int32_t remaining = grain.remaining;
    int32_t attackPhase = grain.attackPhase;
    int32_t decayPhase = grain.decayPhase;
    uint32_t pos = grain.pos;
    int n = plan.count;
    const int start = b;
#if HWY_TARGET <= HWY_AVX3
    const SteadyPair pair(attackInc, decayDec, decayLen, speed, grain.silenceLevel);
#endif
    for (; b < blocks && remaining > 0 && n < kPlannedBlocks; ++b) {
#if HWY_TARGET <= HWY_AVX3
        if (b + 1 < blocks && remaining > kFramesPerBlock && n + 1 < kPlannedBlocks &&
            pair.plan(remaining, attackPhase, decayPhase, pos, b, plan, n, table)) {
            ++b;
            continue;
        }
#endif
        const bool decaying = remaining <= decayLen;
        if (decaying && (decayPhase < 0 || int64_t{decayPhase} - int64_t{kFramesPerBlock} * decayDec < 0))
            break;
        const bool attacking = attackPhase < kWhole;
        if (attacking && !attackStepsInRange)
            break;
        const bool throughout = attacking && risesThroughBlock(attackPhase, grain.attackInc);
        size_t attackSteps = throughout ? kFramesPerBlock : 0;
        bool audible = false;
        for (size_t c = 0; c < kChunks; ++c) {
            const auto frames = static_cast<uint32_t>(c * kLanes);
            VF e = hn::Set(df, 1.0f);
            if (throughout && kEntriesByLoads) {
                e = steppedEntries(table, static_cast<uint32_t>(attackPhase) + frames * attackInc, attackInc);
            } else if (attacking) {
                const VI phase =
                    hn::BitCast(di, hn::Add(hn::Set(du, static_cast<uint32_t>(attackPhase)), attackStep[c]));
                e = riseValues(phase, throughout, table, attackSteps);
            }
            if (decaying) {
                const auto down = 0u - static_cast<uint32_t>(decayDec);
                e = hn::Mul(e, decayEntries(table, static_cast<uint32_t>(decayPhase) + frames * down, down));
            }
            const auto loud = e >= silence;
            audible = audible || !hn::AllFalse(df, loud);
            hn::Store(hn::IfThenElseZero(loud, e), df, plan.env[n] + c * kLanes);
            // Masking to 28 bits commutes with 32-bit wrap-around addition, so frame j is at
            // (pos + j × speed) & mask.
            hn::Store(hn::And(hn::Add(hn::Set(du, pos), posStep[c]), mask), du, plan.pos[n] + c * kLanes);
        }
        if (attacking)
            attackPhase = static_cast<int32_t>(static_cast<uint32_t>(attackPhase) +
                                               static_cast<uint32_t>(attackSteps) * attackInc);
        if (decaying)
            decayPhase -= kFramesPerBlock * decayDec;
        pos = (pos + kFramesPerBlock * speed) & sounds::kPositionMask;
        if (audible)
            plan.block[n++] = b;
        remaining -= kFramesPerBlock;
    }
    grain.remaining = remaining;
    grain.attackPhase = attackPhase;
    grain.decayPhase = decayPhase;
    grain.pos = pos;
    grain.frameCount += kFramesPerBlock * (b - start);
    plan.count = n;
    return b;
}

// What the kernels of one grain read, fixed for a run: the channel, the stride between frames, the
// gains and the units per frame.
struct GrainSource {
    const float* left;
    size_t readable;  // samples that may be loaded from `left`
    int32_t stride;
    bool both;  // a stereo sound whose right channel feeds the right output
    float gainL;
    float gainR;
    float perUnit;
};

// Adds the left and right values of a vector of frames to an interleaved stereo buffer: the two
// vectors interleaved in registers, then added to the buffer as it lies.
HWY_INLINE void addStereo(float* frame, VF left, VF right) {
#if HWY_TARGET == HWY_SCALAR
    frame[0] += hn::GetLane(left);
    frame[1] += hn::GetLane(right);
#else
    const DF df;
    const size_t lanes = hn::Lanes(df);
    // Interleaving works within 128-bit blocks: [l0 r0 l1 r1 | l4 r4 l5 r5] and [l2 r2 l3 r3 | ...].
    const VF lower = hn::InterleaveLower(left, right);
    const VF upper = hn::InterleaveUpper(df, left, right);
    VF first = lower;
    VF second = upper;
    if (lanes == 2 * 4) {
        first = hn::ConcatLowerLower(df, upper, lower);
        second = hn::ConcatUpperUpper(df, upper, lower);
    }
    hn::StoreU(hn::Add(hn::LoadU(df, frame), first), df, frame);
    hn::StoreU(hn::Add(hn::LoadU(df, frame + lanes), second), df, frame + lanes);
#endif
}

// The lanes of a vector of frames of a grain at a steady speed, from the first lane's position p0:
// lane j lies at p0 + j × speed. With j × speed = frameStep_j × divisor + unitStep_j (split once
// per grain), lane j is frameStep_j frames past frame(p0), plus one where unit(p0) + unitStep_j
// reaches a whole frame. That is the division's quotient and remainder exactly, for a few
// additions instead of a division and a check of every lane's frame.
template <class D>
struct SteadyLanes {
    using VInt = hn::Vec<hn::RebindToSigned<D>>;
    VInt frameStep;
    VInt unitStep;
    uint32_t reach = 0;  // (lanes − 1) × speed, in position units
    int32_t span = 0;    // no lane lies more frames past the first lane's than this
    bool usable = false;

    SteadyLanes(D d, const Grain& grain) {
        const hn::RebindToSigned<D> di;
        const hn::RebindToUnsigned<D> du;
        frameStep = hn::Zero(di);
        unitStep = hn::Zero(di);
        const uint64_t last = uint64_t{hn::Lanes(d) - 1} * grain.speed;
        // Gliding grains, and speeds that would carry lanes past the whole sound, take the division.
        if (grain.speedSlope != 0.0f || last > sounds::kPositionMask)
            return;
        const auto steps = hn::Mul(hn::Iota(du, 0u), hn::Set(du, grain.speed));
        const auto q = quotient(steps, grain.frames);
        frameStep = hn::BitCast(di, q);
        unitStep = hn::BitCast(di, hn::Sub(steps, hn::Mul(q, hn::Set(du, grain.frames.divisor))));
        reach = static_cast<uint32_t>(last);
        // The last lane lies furthest on; it reaches one frame further only where its units can carry.
        const uint32_t frames = grain.frames.quotient(reach);
        span = static_cast<int32_t>(frames) + (reach != frames * grain.frames.divisor ? 1 : 0);
        usable = true;
    }

    // Whether every lane from p0 stays below the whole sound, where positions would wrap around.
    bool covers(uint32_t p0) const { return usable && uint64_t{p0} + reach <= sounds::kPositionMask; }

    // Each lane's fraction of a frame in `t`, its frame less `first` (the first lane's) returned.
    HWY_INLINE VInt split(D d, uint32_t p0, const PositionDivider& frames, float perUnit, hn::Vec<D>& t,
                          int32_t& first) const {
        const hn::RebindToSigned<D> di;
        const uint32_t q0 = frames.quotient(p0);
        // Units below 2 × divisor ≤ 2^29 fit the signed lanes.
        const VInt divisor = hn::Set(di, static_cast<int32_t>(frames.divisor));
        VInt units = hn::Add(hn::Set(di, static_cast<int32_t>(p0 - q0 * frames.divisor)), unitStep);
        const auto carry = units > hn::Sub(divisor, hn::Set(di, 1));
        units = hn::Sub(units, hn::IfThenElseZero(carry, divisor));
        t = hn::Mul(hn::ConvertTo(d, units), hn::Set(d, perUnit));
        first = static_cast<int32_t>(q0);
        return hn::Sub(frameStep, hn::VecFromMask(di, carry));
    }
};

// The taps of a mono sound for lanes `index` frames past `first` (no lane more than `span`): tap
// k is a load from frame first + k, its lanes picked by `index`, so one set of picks serves every
// tap. Returns false (nothing written) where the instruction set has no lane picks, the span is
// too wide or the loads would pass the end of the sound.
template <int taps, class VInt, class VFloat>
HWY_INLINE bool steadyMonoTaps(const float*, int32_t, size_t, VInt, int32_t, VFloat*) {
    return false;
}

#if HWY_TARGET <= HWY_AVX2
template <int taps>
HWY_INLINE bool steadyMonoTaps(const float* channel, int32_t first, size_t readable, VI index, int32_t span,
                               VF* out) {
    constexpr int32_t kLanes = kFramesPerBlock;
    const float* at = channel + first;
    const __m256i lane = index.raw;
    if (span < kLanes && static_cast<size_t>(first) + taps - 1 + kLanes <= readable) {
        for (int k = 0; k < taps; ++k)
            out[k] = VF{_mm256_permutevar8x32_ps(_mm256_loadu_ps(at + k), lane)};
        return true;
    }
    if (span < 2 * kLanes && static_cast<size_t>(first) + taps - 1 + 2 * kLanes <= readable) {
        // A blend follows the sign bit: bit 3 of the index picks the second eight frames.
        const __m256 upper = _mm256_castsi256_ps(_mm256_slli_epi32(lane, 28));
        for (int k = 0; k < taps; ++k)
            out[k] =
                VF{_mm256_blendv_ps(_mm256_permutevar8x32_ps(_mm256_loadu_ps(at + k), lane),
                                    _mm256_permutevar8x32_ps(_mm256_loadu_ps(at + k + kLanes), lane), upper)};
        return true;
    }
    return false;
}
#endif

// The kernel's values for `count` vectors of frames from their planned positions and envelope
// values `e`: the left (or selected) channel in yL, the right in yR, which is yL unless both
// channels of a stereo sound are read. A vector is eight lanes of one block or sixteen of two.
// `steady`, a SteadyLanes pointer, splits the lanes of a grain at a steady speed from the first
// lane's position; where it is nullptr (a type of its own, so no code is compiled for it), and where
// the lanes do not fit, each lane's position is divided.
template <Interpolation kind, int count, class D, class Steady>
HWY_INLINE void kernelValues(D df, const Grain& grain, const GrainSource& src, Steady steady,
                             const uint32_t* const* pos, const float* const* env, hn::Vec<D>* e,
                             hn::Vec<D>* yL, hn::Vec<D>* yR) {
    using Kernel = WideKernel<kind>;
    constexpr int kTaps = Kernel::kFramesRead;
    const hn::RebindToSigned<D> di;
    const hn::RebindToUnsigned<D> du;
    hn::Vec<D> t[count];
    hn::Vec<decltype(di)> frame[count];
    hn::Vec<D> taps[count][kTaps];
    bool picked[count] = {};
    for (int m = 0; m < count; ++m) {
        e[m] = hn::Load(df, env[m]);
        if constexpr (!std::is_same_v<Steady, std::nullptr_t>) {
            if (steady->covers(pos[m][0])) {
                int32_t first = 0;
                const auto index = steady->split(df, pos[m][0], grain.frames, src.perUnit, t[m], first);
                frame[m] = hn::Add(hn::Set(di, first), index);
                if (src.stride == 1)
                    picked[m] =
                        steadyMonoTaps<kTaps>(src.left, first, src.readable, index, steady->span, taps[m]);
                continue;
            }
        }
        const auto p = hn::Load(du, pos[m]);
        const auto q = quotient(p, grain.frames);
        const auto r = hn::Sub(p, hn::Mul(q, hn::Set(du, grain.frames.divisor)));
        t[m] = hn::Mul(hn::ConvertTo(df, hn::BitCast(di, r)), hn::Set(df, src.perUnit));
        frame[m] = hn::BitCast(di, q);
    }
    // Tap k of lane i is channel[(frame_i + k) × stride].
    const auto tapsOf = [&](const float* channel, size_t readable, int m, hn::Vec<D>* out) {
        if (!channelWindowTaps<kTaps>(channel, frame[m], src.stride, readable, out))
            gatherTaps<kTaps>(channel,
                              src.stride == 1 ? frame[m] : hn::Mul(frame[m], hn::Set(di, src.stride)),
                              src.stride, out);
    };
    for (int m = 0; m < count; ++m)
        if (!picked[m])
            tapsOf(src.left, src.readable, m, taps[m]);
    for (int m = 0; m < count; ++m)
        yL[m] = hn::Mul(Kernel::of(taps[m], t[m]), e[m]);
    for (int m = 0; m < count; ++m)
        yR[m] = yL[m];
    if (src.both) {
        for (int m = 0; m < count; ++m) {
            tapsOf(src.left + 1, src.readable - 1, m, taps[m]);
            yR[m] = hn::Mul(Kernel::of(taps[m], t[m]), e[m]);
        }
    }
}

// Adds a vector of values to the buffer at `at`.
template <class D>
HWY_INLINE void addTo(D d, float* at, hn::Vec<D> values) {
    hn::StoreU(hn::Add(hn::LoadU(d, at), values), d, at);
}

// Mixes `count` (1 or 2) planned blocks from block n of the plan, interleaved so that the
// processor overlaps their kernels: one kernel is a long chain of dependent steps. Stereo values
// go to the left half of `dest` and `rightOffset` further on.
template <Interpolation kind, int count, class Steady>
HWY_INLINE void mixBlocks(const Grain& grain, const GrainSource& src, Steady steady, const BlockPlan& plan,
                          int n, float* dest, size_t rightOffset, int channels) {
    const DF df;
    const size_t lanes = hn::Lanes(df);
    for (size_t j = 0; j < kFramesPerBlock; j += lanes) {
        const uint32_t* pos[count];
        const float* env[count];
        for (int m = 0; m < count; ++m) {
            pos[m] = plan.pos[n + m] + j;
            env[m] = plan.env[n + m] + j;
        }
        VF e[count], yL[count], yR[count];
        kernelValues<kind, count>(df, grain, src, steady, pos, env, e, yL, yR);
        const VF gainL = hn::Set(df, src.gainL);
        const VF gainR = hn::Set(df, src.gainR);
        for (int m = 0; m < count; ++m) {
            float* const out = dest + static_cast<size_t>(plan.block[n + m]) * kFramesPerBlock + j;
            const auto loud = e[m] > hn::Zero(df);
            if (channels == 2) {
                addTo(df, out, hn::IfThenElseZero(loud, hn::Mul(yL[m], gainL)));
                addTo(df, out + rightOffset, hn::IfThenElseZero(loud, hn::Mul(yR[m], gainR)));
            } else {
                VF y = hn::Mul(yL[m], gainL);
                if (src.both)
                    y = hn::Add(y, hn::Mul(hn::Mul(hn::Set(df, 0.5f), yR[m]), gainR));
                addTo(df, out, hn::IfThenElseZero(loud, y));
            }
        }
    }
}

#if HWY_TARGET <= HWY_AVX3
// Adds the sixteen values of two planned blocks to their places: one addition where the blocks
// follow each other in the buffer, one for each block where a silent block lies between them.
HWY_INLINE void addPair(float* first, float* second, VF16 values) {
    const DF16 df;
    const DF half;
    if (second == first + kFramesPerBlock) {
        addTo(df, first, values);
    } else {
        addTo(half, first, hn::LowerHalf(half, values));
        addTo(half, second, hn::UpperHalf(half, values));
    }
}

// Mixes `pairs` (1 to 3) pairs of planned blocks from block n of the plan. Two blocks that follow
// each other in the plan fill one sixteen-lane register, as their positions and envelope values lie
// back to back. Every lane does what it does in mixBlocks, so the samples are the same; only the
// instruction count halves, which pays on cores that run 512-bit operations at full width.
template <Interpolation kind, int pairs>
HWY_INLINE void mixBlockPairs(const Grain& grain, const GrainSource& src, const BlockPlan& plan, int n,
                              float* dest, size_t rightOffset, int channels) {
    const DF16 df;
    const uint32_t* pos[pairs];
    const float* env[pairs];
    for (int m = 0; m < pairs; ++m) {
        pos[m] = plan.pos[n + 2 * m];
        env[m] = plan.env[n + 2 * m];
    }
    VF16 e[pairs], yL[pairs], yR[pairs];
    // Each lane's position is divided as planned: the two blocks of a pair need not be neighbours.
    kernelValues<kind, pairs>(df, grain, src, nullptr, pos, env, e, yL, yR);
    const VF16 gainL = hn::Set(df, src.gainL);
    const VF16 gainR = hn::Set(df, src.gainR);
    for (int m = 0; m < pairs; ++m) {
        const auto loud = e[m] > hn::Zero(df);
        float* const out0 = dest + static_cast<size_t>(plan.block[n + 2 * m]) * kFramesPerBlock;
        float* const out1 = dest + static_cast<size_t>(plan.block[n + 2 * m + 1]) * kFramesPerBlock;
        if (channels == 2) {
            addPair(out0, out1, hn::IfThenElseZero(loud, hn::Mul(yL[m], gainL)));
            addPair(out0 + rightOffset, out1 + rightOffset, hn::IfThenElseZero(loud, hn::Mul(yR[m], gainR)));
        } else {
            VF16 y = hn::Mul(yL[m], gainL);
            if (src.both)
                y = hn::Add(y, hn::Mul(hn::Mul(hn::Set(df, 0.5f), yR[m]), gainR));
            addPair(out0, out1, hn::IfThenElseZero(loud, y));
        }
    }
}
#endif

// Mixes the planned blocks of one grain: on AVX-512 four at a time in two sixteen-lane pairs (six
// in three for the spline), elsewhere two at a time. Thread: audio.
template <Interpolation kind>
HWY_INLINE void mixPlan(const Grain& grain, const BlockPlan& plan, float* dest, size_t rightOffset,
                        int channels, int32_t channelSelect) {
    const sounds::Sound& sound = *grain.sound;
    const auto stride = static_cast<int32_t>(sound.channelCount());
    const int32_t select = stride == 1 ? LeftChannel : channelSelect;
    const float* left = sound.samples() + (select == RightChannel ? 1 : 0);
    // The fraction is the remainder times the divisor's reciprocal: a multiplication costs far
    // less than a division, and the reciprocal is exact for the power-of-two divisors of sounds
    // whose length divides 2^28.
    const GrainSource src{left,
                          sound.data.size() - static_cast<size_t>(left - sound.samples()),
                          stride,
                          select == BothChannels,
                          grain.gainL,
                          grain.gainR,
                          1.0f / static_cast<float>(grain.frames.divisor)};
    int n = 0;
#if HWY_TARGET <= HWY_AVX3
    // AVX-512's 32 registers hold the taps of two pairs of blocks at once. The spline's long chain
    // of dependent steps gains from a third pair in flight more than it loses to the registers
    // that then spill; the cubic's does not.
    if constexpr (kind == Interpolation::Spline)
        for (; n + 6 <= plan.count; n += 6)
            mixBlockPairs<kind, 3>(grain, src, plan, n, dest, rightOffset, channels);
    for (; n + 4 <= plan.count; n += 4)
        mixBlockPairs<kind, 2>(grain, src, plan, n, dest, rightOffset, channels);
    if (n + 2 <= plan.count) {
        mixBlockPairs<kind, 1>(grain, src, plan, n, dest, rightOffset, channels);
        n += 2;
    }
#endif
#if HWY_TARGET <= HWY_AVX3
    // The blocks the pairs leave over divide each lane's position: split from the first lane as
    // elsewhere, they cost the pairs more in register pressure than they save.
    const std::nullptr_t steady = nullptr;
#else
    const SteadyLanes<DF> lanes(DF(), grain);
    const SteadyLanes<DF>* const steady = &lanes;
#endif
    for (; n + 2 <= plan.count; n += 2)
        mixBlocks<kind, 2>(grain, src, steady, plan, n, dest, rightOffset, channels);
    if (n < plan.count)
        mixBlocks<kind, 1>(grain, src, steady, plan, n, dest, rightOffset, channels);
}

// Each grain through its blocks of the run: the envelope and position steps of up to
// kPlannedBlocks blocks first, then their kernels and mix. A stereo run is mixed into separate
// left and right halves, where a vector of frames adds to its place as it is, and interleaved into
// the output at the end: every frame still receives the same additions in the same order.
template <Interpolation kind>
Grain* renderList(Grain*& list, const RunDestination& out) {
    assert(out.blocks <= kMaxRunBlocks);
    const auto frames = static_cast<size_t>(out.blocks) * kFramesPerBlock;
    const bool stereo = out.channels == 2;
    alignas(64) float halves[2 * kFramesPerBlock * kMaxRunBlocks];
    float* const dest = stereo ? halves : out.buffer;
    if (stereo)
        std::fill(halves, halves + 2 * frames, 0.0f);
    const StereoLayout layout{1, frames};
    BlockPlan plan;
    const float* envelope = envelopeTable().data();
    Grain* finished = nullptr;
    Grain** link = &list;
    for (Grain* grain = list; grain != nullptr;) {
        // The list is walked once per run: fetching the next grain early hides its cache miss.
        Grain* const following = grain->next;
        if (following != nullptr) {
            __builtin_prefetch(following);
            __builtin_prefetch(reinterpret_cast<const char*>(following) + 64);
        }
        const int32_t select = grain->stream->channelSelect.load(std::memory_order_relaxed);
        Grain& g = *grain;
        int b = g.firstBlock;
        while (b < out.blocks && g.remaining > 0) {
            plan.count = 0;
            while (b < out.blocks && g.remaining > 0 && plan.count < kPlannedBlocks) {
                b = planSteadyBlocks(g, b, out.blocks, plan, envelope);
                if (b == out.blocks || g.remaining <= 0 || plan.count == kPlannedBlocks)
                    break;
                planBlock(g, b, plan, envelope, dest + static_cast<size_t>(b) * kFramesPerBlock, out.channels,
                          layout, select, kind);
                g.remaining -= kFramesPerBlock;
                ++b;
            }
            mixPlan<kind>(g, plan, dest, frames, out.channels, select);
        }
        g.firstBlock = 0;
        if (g.remaining <= 0) {
            *link = following;
            g.next = finished;
            finished = &g;
        } else {
            link = &g.next;
        }
        grain = following;
    }
    if (stereo) {
        const DF df;
        for (size_t i = 0; i < frames; i += hn::Lanes(df))
            addStereo(out.buffer + 2 * i, hn::Load(df, halves + i), hn::Load(df, halves + frames + i));
    }
    return finished;
}

}  // namespace

Grain* RenderGrainRun(Grain*& list, const RunDestination& out, Interpolation kind) {
    switch (kind) {
        case Interpolation::Linear:
            return renderList<Interpolation::Linear>(list, out);
        case Interpolation::Cubic:
            return renderList<Interpolation::Cubic>(list, out);
        case Interpolation::Spline:
            return renderList<Interpolation::Spline>(list, out);
    }
    return nullptr;
}

int64_t CompiledTarget() {
    return HWY_TARGET;
}

}  // namespace HWY_NAMESPACE
}  // namespace engine
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace engine {

HWY_EXPORT(RenderGrainRun);
HWY_EXPORT(CompiledTarget);

Grain* renderGrainRun(Grain*& list, const RunDestination& out, Interpolation kind) {
    return HWY_DYNAMIC_DISPATCH(RenderGrainRun)(list, out, kind);
}

const char* wideRendererTarget() {
    return hwy::TargetName(HWY_DYNAMIC_DISPATCH(CompiledTarget)());
}

}  // namespace engine
#endif
