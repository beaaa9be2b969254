#include "output/RecordingSwitch.h"

#include <utility>

#include "output/RecordingNames.h"

namespace output {

RecordingSwitch::RecordingSwitch(Recorder& recorder, RecordingOptions options, SaveOptions save)
    : recorder_(recorder), options_(std::move(options)), save_(std::move(save)) {}

std::string RecordingSwitch::makeBasePath() {
    if (options_.numbering) {
        // A running recording keeps its number for the streams added to it.
        if (!recorder_.recording())
            options_.counter = nextRecordingCounter(options_.counter, options_.maxCount);
        if (save_)
            save_(options_);
    }
    return recordingPath(options_.folder, recordingName(options_.numbering, options_.counter));
}

bool RecordingSwitch::toggle(const EngineSnapshot& engine) {
    if (recorder_.recording()) {
        recorder_.stop();
        return false;
    }
    const RecordingFormat format{engine.sampleRate, engine.channels, recordingSampleFormat(options_.bits)};
    const std::string basePath = makeBasePath();
    return recorder_.start(basePath, format, options_.onePerStream, engine.streamsInUse,
                           engine.runningFrames);
}

void RecordingSwitch::streamAdded(int index, int64_t runningFrames) {
    if (!recorder_.recording() || !recorder_.onePerStream())
        return;
    recorder_.streamAdded(index, makeBasePath(), runningFrames);
}

}  // namespace output
