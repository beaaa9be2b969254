#pragma once

#include <cstdint>
#include <string>

namespace output {

// The name of a recording in the output folder: "fizz.wav" without numbering,
// "fizz%02d.wav" of the file counter with it.
std::string recordingName(bool numbering, int32_t counter);

// The file counter for the next recording: one more than the last number used,
// back to 0 after maxCount (so with 99 the numbers run 1, 2, ... 99, 0, 1, ...).
int32_t nextRecordingCounter(int32_t counter, int32_t maxCount);

// The stored maximum count as used: values below 2 mean 99.
int32_t usableMaxCount(int32_t stored);

// "%s/%s" of folder and name.
std::string recordingPath(const std::string& folder, const std::string& name);

// The file of stream `streamNumber` (1..8) when each stream has its own file:
// the base path's last three characters ("wav") become "%i.wav", so fizz03.wav
// gives fizz03.2.wav.
std::string streamRecordingPath(const std::string& basePath, int streamNumber);

// The file of a stream added while recording runs, `framesSinceStart` frames
// after the start: "%i_(%i).wav" in place of "wav" (fizz07.4_(88200).wav).
std::string addedStreamRecordingPath(const std::string& basePath, int streamNumber, int64_t framesSinceStart);

}  // namespace output
