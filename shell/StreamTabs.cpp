#include "shell/StreamTabs.h"

#include "shell/MenuCommands.h"
#include "sounds/Sound.h"
#include "sounds/SoundTable.h"

namespace shell {
namespace {

using engine::StreamState;

std::string numbered(const char* text, int stream) {
    return std::string(text) + " " + std::to_string(stream + 1);
}

}  // namespace

std::string tabLabel(int stream, StreamState state) {
    std::string label = "Stream " + std::to_string(stream + 1);
    if (state == engine::Solo)
        label += "  [S]";
    else if (state == engine::Muted || state == engine::Busy)
        label += "  [  ]";
    return label;
}

StreamTabs::StreamTabs(engine::Engine& engine, patches::PatchPanel& panel, View& view, Hooks hooks)
    : engine_(engine), panel_(panel), view_(view), hooks_(std::move(hooks)) {}

std::vector<StreamTab> StreamTabs::tabList() const {
    std::vector<StreamTab> tabs;
    for (int i = 0; i < engine::kMaxStreams; ++i) {
        const StreamState state = static_cast<StreamState>(engine_.stream(i).stateNow());
        if (state != engine::Empty)
            tabs.push_back({i, tabLabel(i, state)});
    }
    return tabs;
}

int StreamTabs::tabOf(int stream) const {
    const std::vector<StreamTab> tabs = tabList();
    for (size_t t = 0; t < tabs.size(); ++t)
        if (tabs[t].stream == stream)
            return static_cast<int>(t);
    return -1;
}

int StreamTabs::streamOfTab(int tab) const {
    const std::vector<StreamTab> tabs = tabList();
    return tab >= 0 && static_cast<size_t>(tab) < tabs.size() ? tabs[static_cast<size_t>(tab)].stream : -1;
}

void StreamTabs::showTabs() {
    view_.setStreamTabs(tabList(), tabOf(engine_.currentStream()));
}

void StreamTabs::relabel() {
    showTabs();
}

bool StreamTabs::newStream() {
    if (engine_.streamCount() >= engine::kMaxStreams)
        return false;
    const int k = engine_.newStream(engine_.currentStream());
    if (k < 0)
        return false;
    if (hooks_.streamAdded)
        hooks_.streamAdded(k);
    selectStream(k);
    if (hooks_.focusControl)
        hooks_.focusControl(kAmpScrollBar);
    return true;
}

bool StreamTabs::endStream() {
    if (engine_.streamCount() <= 1)
        return false;
    const int c = engine_.currentStream();
    const int tab = tabOf(c);
    engine_.endStream(c);
    if (hooks_.streamEnded)
        hooks_.streamEnded(c);
    // The tab to the left, or the new first tab when the first one went.
    const int next = streamOfTab(tab > 0 ? tab - 1 : 0);
    selectStream(next);
    return true;
}

void StreamTabs::selectTab(int tab) {
    const int stream = streamOfTab(tab);
    if (stream >= 0)
        selectStream(stream);
}

void StreamTabs::selectStream(int index) {
    const engine::Stream& stream = engine_.stream(index);
    if (index != engine_.currentStream())
        panel_.followStream(stream.bankIndex, stream.patchSlot);
    engine_.setCurrentStream(index);
    showTabs();
    if (hooks_.showParameters)
        hooks_.showParameters();
    describeCurrent();
}

void StreamTabs::describeCurrent() {
    const int index = engine_.currentStream();
    const engine::Stream& stream = engine_.stream(index);
    const sounds::Sound& sound = *stream.sound;
    const bool sine = engine_.soundTable().isBuiltin(sound);
    view_.setWindowTitle(sine ? std::string("Frisson") : std::string(sound.name()) + " - Fizz chops it");

    const std::string name(sound.name());
    std::string text;
    if (stream.patchSlot == 0) {
        text = "Stream uses " + name + ", default patch";
    } else if (stream.bankIndex >= 0 && stream.bankIndex < patches::kBankCount &&
               panel_.bank(stream.bankIndex).slot(stream.patchSlot).occupied()) {
        text = "Stream uses " + name + ", bank " + patches::bankLetter(stream.bankIndex) + ", patch " +
               std::to_string(stream.patchSlot);
    } else {
        text = "Stream uses " + name + ", patch N/A";
    }
    if (hooks_.showStatus)
        hooks_.showStatus(text);
    view_.setStatusText(kValuePart, "");
}

std::vector<ContextMenuItem> StreamTabs::contextMenu(int tab) const {
    const int i = streamOfTab(tab);
    if (i < 0)
        return {};
    std::vector<ContextMenuItem> items;
    const StreamState state = static_cast<StreamState>(engine_.stream(i).stateNow());
    switch (state) {
        case engine::Busy:
            items.push_back({0, "Stream " + std::to_string(i + 1) + " is busy!", false});
            break;
        case engine::Muted:
            items.push_back({kCmdUnmuteStream + i, numbered("Unmute Stream", i)});
            items.push_back({kCmdSoloStream + i, numbered("Solo Stream", i)});
            break;
        case engine::Solo:
            items.push_back({kCmdMuteStream + i, numbered("Mute Stream", i)});
            items.push_back({kCmdUnsoloStream + i, numbered("Unsolo Stream", i)});
            break;
        default:
            items.push_back({kCmdMuteStream + i, numbered("Mute Stream", i)});
            items.push_back({kCmdSoloStream + i, numbered("Solo Stream", i)});
            break;
    }
    bool othersDiffer = false;
    for (int s = 0; s < engine::kMaxStreams; ++s) {
        const int32_t other = engine_.stream(s).stateNow();
        if (other == engine::Muted || other == engine::Busy || (s != i && other == engine::Solo))
            othersDiffer = true;
    }
    if (othersDiffer) {
        items.push_back({0, "", true});
        items.push_back({kCmdUnmuteAll, "Unmute all streams"});
    }
    return items;
}

void StreamTabs::setState(int stream, StreamState state) {
    engine_.setStreamState(stream, state);
}

bool StreamTabs::streamCommand(int id) {
    if (id == kCmdUnmuteAll) {
        for (int s = 0; s < engine::kMaxStreams; ++s) {
            const int32_t state = engine_.stream(s).stateNow();
            if (state != engine::Empty && state != engine::Busy)
                setState(s, engine::Active);
        }
        relabel();
        hooks_.showStatus("Play all streams");
        return true;
    }
    if (id < kCmdMuteStream || id >= kCmdUnsoloStream + 100)
        return false;
    const int i = id % 100;
    const int kind = id - i;
    if (i >= engine::kMaxStreams)
        return false;
    if (engine_.stream(i).stateNow() == engine::Busy) {
        hooks_.showStatus("Stream " + std::to_string(i + 1) + " is busy!");
        return true;
    }
    const auto others = [&](StreamState state) {
        for (int s = 0; s < engine::kMaxStreams; ++s) {
            const int32_t current = engine_.stream(s).stateNow();
            if (s != i && current != engine::Empty && current != engine::Busy)
                setState(s, state);
        }
    };
    std::string status;
    switch (kind) {
        case kCmdMuteStream:
            setState(i, engine::Muted);
            status = numbered("Mute Stream", i);
            break;
        case kCmdUnmuteStream:
            setState(i, engine::Active);
            status = numbered("Unmute Stream", i);
            break;
        case kCmdSoloStream:
            others(engine::Muted);
            setState(i, engine::Solo);
            status = numbered("Solo Stream", i);
            break;
        default:
            others(engine::Active);
            setState(i, engine::Active);
            status = numbered("Unsolo Stream", i);
            break;
    }
    relabel();
    hooks_.showStatus(status);
    return true;
}

}  // namespace shell
