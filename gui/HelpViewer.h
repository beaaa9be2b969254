#pragma once

#include <optional>
#include <string>

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace gui {

// The help window: the program's HTML help in a text browser, opened at the
// topic of a keyword ("Login Window", "Gesture Window", ...) or at its
// contents. Thread: main.
class HelpViewer : public QWidget {
    Q_OBJECT
  public:
    static constexpr const char* kTitle = "Frisson Help";
    static constexpr const char* kContentsFile = "index.html";
    static constexpr const char* kContentsAnchor = "contents";

    // `folder` holds index.html; an empty folder shows a note that the help is missing.
    explicit HelpViewer(const QString& folder, QWidget* parent = nullptr);

    // The installed help (share/frisson/help beside the program's bin folder), else the
    // help of the source tree the program was built from; empty when neither exists.
    static QString findHelpFolder();
    // The anchor of the topic whose keyword starts with, or contains, `keyword` (ignoring
    // case); empty when no topic matches.
    static QString anchorFor(const std::string& keyword);

    // Shows the window at the keyword's topic, or at the contents for none.
    void open(const std::optional<std::string>& keyword);

    QTextBrowser* browser() const { return browser_; }
    QString folder() const { return folder_; }

  private:
    QString folder_;
    QTextBrowser* browser_ = nullptr;
};

}  // namespace gui
