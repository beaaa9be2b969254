#include "app/Commands.h"

#include <array>

namespace app {

int runInfo(Args args);
int runConvert(Args args);
int runRender(Args args);
int runMidiPorts(Args args);
int runBank(Args args);
int runDevices(Args args);
int runPlay(Args args);
int runParams(Args args);

std::span<const Command> commands() {
    static const std::array table{
        Command{"info", "describe a sound file (format, frames, header chunks)", &runInfo},
        Command{"convert", "decode a sound file and write it as WAV", &runConvert},
        Command{"render", "render streams offline to a WAV file", &runRender},
        Command{"play", "play streams on a sound server or sound card", &runPlay},
        Command{"devices", "list the output devices", &runDevices},
        Command{"midi-ports", "list the MIDI sources", &runMidiPorts},
        Command{"bank", "list a patch bank file", &runBank},
        Command{"params", "list the 29 parameters: range, default and meaning", &runParams},
    };
    return table;
}

}  // namespace app
