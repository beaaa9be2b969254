#pragma once

#include <cstdint>
#include <string>

namespace midi {

// The status line text for a monitored MIDI message (packed as status, data 1,
// data 2 from the low byte up), e.g. "MIDI input: Chn 1, Note on 60, 100".
// Thread: any.
std::string formatMonitorLine(uint32_t packed);

}  // namespace midi
