#include "shell/ConsoleView.h"

namespace shell {

void ConsoleView::setStatusText(int part, const std::string& text) {
    // Only part 1 carries messages; the same message twice in a row is printed once.
    if (part != kMessagePart || text.empty() || text == lastStatus_)
        return;
    lastStatus_ = text;
    out_ << prefix_ << text << "\n";
}

Reply ConsoleView::ask(const std::string& text, const std::string& caption, Buttons buttons) {
    const Reply answer = buttons == Buttons::OkCancel ? Reply::Ok : Reply::Yes;
    out_ << prefix_ << (caption.empty() ? kQuestionCaption : caption) << ": " << text << " ["
         << (answer == Reply::Ok ? "OK" : "Yes") << "]\n";
    return answer;
}

void ConsoleView::warn(const std::string& text, const std::string& caption) {
    out_ << prefix_ << (caption.empty() ? "Frisson Warning!" : caption) << ": " << text << "\n";
}

void ConsoleView::fatal(const std::string& text) {
    out_ << prefix_ << kFatalCaption << ": " << text << "\n";
}

}  // namespace shell
