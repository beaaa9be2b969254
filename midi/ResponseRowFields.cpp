#include "midi/ResponseRowFields.h"

#include <algorithm>

#include "midi/ResponseTables.h"

namespace midi {
namespace {

constexpr uint32_t kToMask = 0x7F;
constexpr int kFromShift = 8;
constexpr uint32_t kFromMask = 0x7F << kFromShift;
constexpr uint32_t kTargetMask = kResponseTargetMask << kResponseTargetShift;
constexpr int kSourceIndexShift = 28;
constexpr uint32_t kSourceMask = 0xFF000000;

uint32_t clampPercent(int32_t percent) {
    return static_cast<uint32_t>(std::clamp(percent, 0, kMaxPercent));
}

}  // namespace

ResponseRow withTo(ResponseRow row, int32_t percent) {
    return (row & ~kToMask) | clampPercent(percent);
}

ResponseRow withFrom(ResponseRow row, int32_t percent) {
    return (row & ~kFromMask) | (clampPercent(percent) << kFromShift);
}

ResponseRow withTargetIndex(ResponseRow row, uint32_t index) {
    return (row & ~kTargetMask) | ((index & kResponseTargetMask) << kResponseTargetShift);
}

ResponseRow withSourceIndex(ResponseRow row, uint32_t index) {
    const uint32_t flags = index < kResponseSources.size() ? kResponseSources[index].flags : 0;
    const uint32_t source = index < kResponseSources.size() ? (index << kSourceIndexShift) | flags : 0;
    return (row & ~kSourceMask) | source;
}

bool isUsableRow(ResponseRow row) {
    return responseSourceFlags(row) != 0 && responseTargetIndex(row) != 0 &&
           responseFrom(row) != responseTo(row);
}

std::array<ResponseRow, kResponseRowCount> compactRows(
    const std::array<ResponseRow, kResponseRowCount>& rows) {
    std::array<ResponseRow, kResponseRowCount> kept{};
    size_t next = 0;
    for (const ResponseRow row : rows)
        if (isUsableRow(row))
            kept[next++] = row;
    return kept;
}

}  // namespace midi
