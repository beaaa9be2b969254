#include "gui/HelpViewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace gui {

namespace {

// The topics the program opens by keyword, and their anchors in the contents file.
struct Topic {
    const char* keyword;
    const char* anchor;
};

constexpr Topic kTopics[] = {
    {"Login Window", "login-window"}, {"Gesture Window", "gesture-window"},
    {"I/O Options", "io-options"},    {"Midi response dialog", "midi-response-dialog"},
    {"Contact", "contact"},
};

constexpr int kWidth = 720;
constexpr int kHeight = 600;

bool holdsHelp(const QString& folder) {
    return !folder.isEmpty() &&
           QFileInfo::exists(QDir(folder).filePath(QString::fromLatin1(HelpViewer::kContentsFile)));
}

}  // namespace

HelpViewer::HelpViewer(const QString& folder, QWidget* parent)
    : QWidget(parent, Qt::Window), folder_(folder) {
    setWindowTitle(QString::fromLatin1(kTitle));
    setObjectName(QStringLiteral("helpViewer"));
    browser_ = new QTextBrowser;
    browser_->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    resize(kWidth, kHeight);
    if (holdsHelp(folder_))
        browser_->setSearchPaths({folder_});
    else
        browser_->setHtml(
            QStringLiteral("<p>The help files were not found. They are installed in "
                           "<code>share/frisson/help</code> beside the program's "
                           "<code>bin</code> folder.</p>"));
}

QString HelpViewer::findHelpFolder() {
    const QString installed = QDir(QCoreApplication::applicationDirPath())
                                  .absoluteFilePath(QStringLiteral("../share/frisson/help"));
    if (holdsHelp(installed))
        return QDir::cleanPath(installed);
#ifdef FRISSON_HELP_SOURCE_DIR
    if (holdsHelp(QStringLiteral(FRISSON_HELP_SOURCE_DIR)))
        return QStringLiteral(FRISSON_HELP_SOURCE_DIR);
#endif
    return {};
}

QString HelpViewer::anchorFor(const std::string& keyword) {
    const QString wanted = QString::fromStdString(keyword).trimmed();
    if (wanted.isEmpty())
        return {};
    for (const Topic& topic : kTopics)
        if (QString::fromLatin1(topic.keyword).startsWith(wanted, Qt::CaseInsensitive))
            return QString::fromLatin1(topic.anchor);
    for (const Topic& topic : kTopics)
        if (QString::fromLatin1(topic.keyword).contains(wanted, Qt::CaseInsensitive))
            return QString::fromLatin1(topic.anchor);
    return {};
}

void HelpViewer::open(const std::optional<std::string>& keyword) {
    if (holdsHelp(folder_)) {
        QUrl url = QUrl::fromLocalFile(QDir(folder_).filePath(QString::fromLatin1(kContentsFile)));
        QString anchor = keyword ? anchorFor(*keyword) : QString();
        if (anchor.isEmpty())
            anchor = QString::fromLatin1(kContentsAnchor);
        url.setFragment(anchor);
        browser_->setSource(url);
        // Asked for the page it already shows, the browser stays where it was: go to the topic.
        browser_->scrollToAnchor(anchor);
    }
    show();
    raise();
    activateWindow();
}

}  // namespace gui
