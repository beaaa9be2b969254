#include "midi/ResponseTables.h"

namespace midi {

std::optional<int> responseTargetParam(ResponseRow row) {
    if (!hasValidTarget(row))
        return std::nullopt;
    const int param = kResponseTargets[responseTargetIndex(row)].param;
    if (param < 0)
        return std::nullopt;
    return param;
}

}  // namespace midi
