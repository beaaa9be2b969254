#include "shell/CoreAdapters.h"

#include <algorithm>
#include <cctype>

#include "engine/ParamScroll.h"

namespace shell {

ViewAdapters::ViewAdapters(View& view, std::function<void(const std::string&, bool)> status)
    : view_(view), status_(std::move(status)) {}

patches::Answer ViewAdapters::askYesNoCancel(const std::string& text, const std::string& caption) {
    switch (view_.ask(text, caption, Buttons::YesNoCancel)) {
        case Reply::Yes:
            return patches::Answer::Yes;
        case Reply::No:
            return patches::Answer::No;
        default:
            return patches::Answer::Cancel;
    }
}

bool ViewAdapters::askOkCancel(const std::string& text, const std::string& caption) {
    return view_.ask(text, caption, Buttons::OkCancel) == Reply::Ok;
}

void ViewAdapters::warn(const std::string& text, const std::string& caption) {
    view_.warn(text, caption);
}

std::optional<std::string> ViewAdapters::chooseBankFile(const std::string& folder) {
    return view_.chooseFile("Patch bank", {"Frisson patch banks", "fpb"}, folder);
}

void ViewAdapters::moveScrollBar(int param, int32_t value) {
    if (onMoveScrollBar)
        onMoveScrollBar(param, value);
}

void ViewAdapters::setPlayButton(bool playing) {
    view_.setButton(kPlayButton,
                    {playing ? output::kPlayButtonPlaying : output::kPlayButtonStopped, playing});
}

void ViewAdapters::showStatus(int part, std::string_view text) {
    view_.setStatusText(part, std::string(text));
}

void ViewAdapters::showWarning(std::string_view caption, std::string_view text) {
    view_.warn(std::string(text), std::string(caption));
}

void ViewAdapters::appendItem(int id, const std::string& label) {
    recent_.emplace_back(id, label);
    view_.setRecentFiles(recent_);
}

bool LargeSoundRelay::confirmLoad(const std::string& /*title*/, const std::string& text) {
    std::unique_lock lock(mutex_);
    if (closed_)
        return false;
    const int64_t ticket = nextTicket_++;
    if (!queue_.postText(kMsgLargeSoundQuestion, text, ticket))
        return false;
    answered_.wait(lock, [&] { return closed_ || answers_.count(ticket) > 0; });
    const auto found = answers_.find(ticket);
    const bool load = found != answers_.end() && found->second;
    if (found != answers_.end())
        answers_.erase(found);
    return load && !closed_;
}

void LargeSoundRelay::answer(int64_t ticket, bool load) {
    {
        std::lock_guard lock(mutex_);
        answers_[ticket] = load;
    }
    answered_.notify_all();
}

void LargeSoundRelay::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    answered_.notify_all();
}

std::optional<std::string> helpKeyword(const std::string& title) {
    std::string lower(title);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower.find("login") != std::string::npos)
        return "Login Window";
    if (title.find("Gesture") != std::string::npos)
        return "Gesture Window";
    if (title == "In/Out Options")
        return "I/O Options";
    // The response dialog is titled "Configure MIDI Response Options": matched ignoring case.
    if (lower.find("midi response") != std::string::npos)
        return "Midi response dialog";
    if (title.find("Sound Snipster") != std::string::npos)
        return "Contact";
    return std::nullopt;
}

}  // namespace shell
