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
    static VF of(const VF* s, VF t) { return hn::Add(s[0], hn::Mul(hn::Sub(s[1], s[0]), t)); }
};

template <>
struct WideKernel<Interpolation::Cubic> {
    static constexpr int kFramesRead = CubicKernel::kFramesRead;
    static VF of(const VF* s, VF t) {
        const VF a0 = hn::Add(hn::Sub(hn::Sub(s[3], s[2]), s[0]), s[1]);
        const VF a1 = hn::Sub(hn::Sub(s[0], s[1]), a0);
        const VF a2 = hn::Sub(s[2], s[0]);
        return hn::Add(hn::Mul(hn::Add(hn::Mul(hn::Add(hn::Mul(a0, t), a1), t), a2), t), s[1]);
    }
};

template <>
struct WideKernel<Interpolation::Spline> {
    static constexpr int kFramesRead = SplineKernel::kFramesRead;
    static VF of(const VF* s, VF t) {
        const DF d;
        const auto k = [d](float c) { return hn::Set(d, c); };
        const VF d31 = hn::Sub(s[3], s[1]);
        const VF d04 = hn::Sub(s[0], s[4]);
        const VF s31 = hn::Add(s[3], s[1]);
        const VF d32 = hn::Sub(s[3], s[2]);
        const VF d14 = hn::Sub(s[1], s[4]);
        const VF d50 = hn::Sub(s[5], s[0]);
        const VF c5 = hn::Add(hn::Add(hn::Mul(k(50), d32), hn::Mul(k(25), d14)), hn::Mul(k(5), d50));
        VF c4 = hn::Sub(hn::Mul(k(126), s[2]), hn::Mul(k(124), s[3]));
        c4 = hn::Add(c4, hn::Mul(k(61), s[4]));
        c4 = hn::Sub(c4, hn::Mul(k(64), s[1]));
        c4 = hn::Sub(c4, hn::Mul(k(12), s[5]));
        c4 = hn::Add(c4, hn::Mul(k(13), s[0]));
        VF c3 = hn::Sub(hn::Mul(k(66), s[3]), hn::Mul(k(70), s[2]));
        c3 = hn::Sub(c3, hn::Mul(k(33), s[4]));
        c3 = hn::Add(c3, hn::Mul(k(39), s[1]));
        c3 = hn::Add(c3, hn::Mul(k(7), s[5]));
        c3 = hn::Sub(c3, hn::Mul(k(9), s[0]));
        const VF c2 = hn::Sub(hn::Sub(hn::Sub(hn::Mul(k(16), s31), s[0]), hn::Mul(k(30), s[2])), s[4]);
        const VF c1 = hn::Add(hn::Mul(k(16), d31), hn::Mul(k(2), d04));
        VF p = hn::Add(c4, hn::Mul(t, c5));
        p = hn::Add(c3, hn::Mul(t, p));
        p = hn::Add(c2, hn::Mul(t, p));
        p = hn::Add(c1, hn::Mul(t, p));
        return hn::Add(s[2], hn::Mul(hn::Mul(t, k(static_cast<float>(1.0 / 24.0))), p));
    }
};

// pos / divisor for every lane: 32 × 32 → 64-bit products of the even and the odd lanes.
VU quotient(VU pos, const PositionDivider& frames) {
    const DU du;
#if HWY_TARGET == HWY_SCALAR
    return hn::Set(du, frames.quotient(hn::GetLane(pos)));
#else
    const hn::Repartition<uint64_t, DU> d64;
    const VU m = hn::Set(du, frames.multiplier);
    const auto even = hn::ShiftRightSame(hn::MulEven(pos, m), frames.shift);
    const VU oddLanes = hn::BitCast(du, hn::ShiftRight<32>(hn::BitCast(d64, pos)));
    const auto odd = hn::ShiftRightSame(hn::MulEven(oddLanes, m), frames.shift);
    return hn::OddEven(hn::BitCast(du, hn::ShiftLeft<32>(odd)), hn::BitCast(du, even));
#endif
}

// Whether the wide path covers this block of the grain: not its first block (which starts part
// of the way in), and a decay that does not run out inside the block.
bool wideBlock(const Grain& grain, bool decaying) {
    if (grain.frameCount < 0)
        return false;
    if (decaying && int64_t{grain.decayPhase} - int64_t{kFramesPerBlock} * grain.decayDec < 0)
        return false;
    const bool attacking = grain.attackPhase < kWhole;
    return !attacking || (grain.attackInc >= 0 && grain.attackInc <= kWhole);
}

// Envelope values of the block's eight frames (0 where the grain is below its silence level), and
// the envelope phases advanced past them. Returns whether any frame is audible.
bool envelopeBlock(Grain& grain, bool decaying, float* env) {
    const DF df;
    const DI di;
    const DU du;
    const size_t lanes = hn::Lanes(df);
    const float* table = envelopeTable().data();
    const bool attacking = grain.attackPhase < kWhole;
    size_t attackSteps = 0;
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
            const auto rising = phase < hn::Set(di, kWhole);
            attackSteps += hn::CountTrue(di, rising);
            const VI index = hn::IfThenElseZero(rising, hn::ShiftRight<kEnvelopeShift>(phase));
            e = hn::IfThenElse(hn::RebindMask(df, rising), hn::GatherIndex(df, table, index), e);
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

// The positions of the block's eight frames, and the grain's position and frame count after them.
void positionBlock(Grain& grain, uint32_t* pos) {
    uint32_t p = grain.pos;
    if (grain.speedSlope == 0.0f) {
        for (int j = 0; j < kFramesPerBlock; ++j) {
            pos[j] = p;
            p = (p + grain.speed) & sounds::kPositionMask;
        }
    } else {
        for (int j = 0; j < kFramesPerBlock; ++j) {
            pos[j] = p;
            p = addPosition(p, roundToNearest(grain.speed + static_cast<double>(grain.speedSlope) *
                                                                (grain.frameCount + j)));
        }
    }
    grain.pos = p;
    grain.frameCount += kFramesPerBlock;
}

template <Interpolation kind>
void renderWide(Grain& grain, float* dest, int channels, int32_t channelSelect) {
    using Kernel = WideKernel<kind>;
    const bool decaying = grain.remaining <= grain.decayLen;
    if (decaying && grain.decayPhase < 0)
        return;  // the decay is spent: silent until its count runs out
    if (!wideBlock(grain, decaying)) {
        renderGrainBlockReference(grain, dest, channels, channelSelect, kind);
        return;
    }
    alignas(32) float env[kFramesPerBlock];
    alignas(32) uint32_t pos[kFramesPerBlock];
    const bool audible = envelopeBlock(grain, decaying, env);
    positionBlock(grain, pos);
    if (!audible)
        return;

    const sounds::Sound& sound = *grain.sound;
    const auto stride = static_cast<int32_t>(sound.channelCount());
    const int32_t select = stride == 1 ? LeftChannel : channelSelect;
    const float* left = sound.samples() + (select == RightChannel ? 1 : 0);
    const bool both = select == BothChannels;

    const DF df;
    const DI di;
    const DU du;
    const size_t lanes = hn::Lanes(df);
    const VF gainL = hn::Set(df, grain.gainL);
    const VF gainR = hn::Set(df, grain.gainR);
    for (size_t j = 0; j < kFramesPerBlock; j += lanes) {
        const VU p = hn::Load(du, pos + j);
        const VU q = quotient(p, grain.frames);
        const VU r = hn::Sub(p, hn::Mul(q, hn::Set(du, grain.frames.divisor)));
        const VF t = hn::Div(hn::ConvertTo(df, hn::BitCast(di, r)),
                             hn::Set(df, static_cast<float>(grain.frames.divisor)));
        const VI first = hn::Mul(hn::BitCast(di, q), hn::Set(di, stride));
        const VF e = hn::Load(df, env + j);
        const auto loud = e > hn::Zero(df);

        VF taps[Kernel::kFramesRead];
        for (int k = 0; k < Kernel::kFramesRead; ++k)
            taps[k] = hn::GatherIndex(df, left + k * stride, first);
        const VF yL = hn::Mul(Kernel::of(taps, t), e);
        VF yR = yL;
        if (both) {
            for (int k = 0; k < Kernel::kFramesRead; ++k)
                taps[k] = hn::GatherIndex(df, left + 1 + k * stride, first);
            yR = hn::Mul(Kernel::of(taps, t), e);
        }

        if (channels == 2) {
            float* out = dest + 2 * j;
            VF outL, outR;
            hn::LoadInterleaved2(df, out, outL, outR);
            outL = hn::Add(outL, hn::IfThenElseZero(loud, hn::Mul(yL, gainL)));
            outR = hn::Add(outR, hn::IfThenElseZero(loud, hn::Mul(yR, gainR)));
            hn::StoreInterleaved2(outL, outR, df, out);
        } else {
            VF y = hn::Mul(yL, gainL);
            if (both)
                y = hn::Add(y, hn::Mul(hn::Mul(hn::Set(df, 0.5f), yR), gainR));
            hn::StoreU(hn::Add(hn::LoadU(df, dest + j), hn::IfThenElseZero(loud, y)), df, dest + j);
        }
    }
}

template <Interpolation kind>
void renderList(Grain* grain, const BlockDestination& out) {
    for (; grain != nullptr; grain = grain->next) {
        const Stream& stream = *grain->stream;
        float* dest = (out.perStream ? stream.outBuffer : out.mix) + out.offset;
        renderWide<kind>(*grain, dest, out.channels, stream.channelSelect.load(std::memory_order_relaxed));
    }
}

}  // namespace

void RenderGrainBlocks(Grain* first, const BlockDestination& out, Interpolation kind) {
    switch (kind) {
        case Interpolation::Linear:
            renderList<Interpolation::Linear>(first, out);
            break;
        case Interpolation::Cubic:
            renderList<Interpolation::Cubic>(first, out);
            break;
        case Interpolation::Spline:
            renderList<Interpolation::Spline>(first, out);
            break;
    }
}

int64_t CompiledTarget() {
    return HWY_TARGET;
}

}  // namespace HWY_NAMESPACE
}  // namespace engine
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace engine {

HWY_EXPORT(RenderGrainBlocks);
HWY_EXPORT(CompiledTarget);

void renderGrainBlocks(Grain* first, const BlockDestination& out, Interpolation kind) {
    HWY_DYNAMIC_DISPATCH(RenderGrainBlocks)(first, out, kind);
}

const char* wideRendererTarget() {
    return hwy::TargetName(HWY_DYNAMIC_DISPATCH(CompiledTarget)());
}

}  // namespace engine
#endif
