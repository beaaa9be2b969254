#include "midi/MidiControlSettings.h"

namespace midi {

ResponseOptions MidiControlSettings::options() const {
    ResponseOptions options;
    options.noteToPitch = noteToPitch;
    options.noteStopMode = noteStopMode;
    options.restartOnNewNote = restartOnNewNote;
    options.restartOnTiedNote = restartOnTiedNote;
    options.programChangeOn = programChangeOn;
    options.maxPitchBend = maxPitchBend;
    return options;
}

void MidiControlSettings::setOptions(const ResponseOptions& options) {
    noteToPitch = options.noteToPitch;
    noteStopMode = options.noteStopMode;
    restartOnNewNote = options.restartOnNewNote;
    restartOnTiedNote = options.restartOnTiedNote;
    programChangeOn = options.programChangeOn;
    maxPitchBend = options.maxPitchBend;
}

std::array<ResponseRow, kResponseRowCount> MidiControlSettings::responseRows() const {
    std::array<ResponseRow, kResponseRowCount> words{};
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = rows[i];
    return words;
}

void MidiControlSettings::setResponseRows(const std::array<ResponseRow, kResponseRowCount>& newRows) {
    for (size_t i = 0; i < newRows.size(); ++i)
        rows[i] = newRows[i];
}

void MidiControlSettings::loadStored(const MidiSettings& stored) {
    selectedDevice = stored.selectedDevice;
    channel = stored.channel;
    moveSliders = stored.moveSliders;
    monitorInput = stored.monitorInput ? 1 : 0;
    relativeFine = stored.relativeFine;
    setOptions(decodeOptions(stored.responseOptions));
    setResponseRows(stored.responseRows);
}

MidiSettings MidiControlSettings::stored() const {
    MidiSettings stored;
    stored.selectedDevice = selectedDevice;
    stored.channel = channel;
    stored.moveSliders = moveSliders;
    stored.monitorInput = monitorInput != 0;
    stored.relativeFine = relativeFine;
    stored.responseOptions = packOptions(options());
    stored.responseRows = responseRows();
    return stored;
}

}  // namespace midi
