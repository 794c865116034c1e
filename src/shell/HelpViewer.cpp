#include "shell/HelpViewer.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

// The help document is a resource of this static library, which a program
// keeps only when it is named.
static void InitialiseHelpResource() { Q_INIT_RESOURCE(zandor_help); }

namespace zandor {

namespace {

const char* const kHelpDocument = ":/zandor/help/zandor-help.html";

const QString& HelpText() {
    static const QString text = [] {
        InitialiseHelpResource();
        QFile file(kHelpDocument);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }();
    return text;
}

}  // namespace

bool HasHelpTopic(const QString& topic) {
    return !topic.isEmpty() && HelpText().contains("<a name=\"" + topic + "\">");
}

HelpViewer::HelpViewer(QWidget* parent) : QDialog(parent) {
    setObjectName("helpViewer");
    setWindowTitle("Zandor Help");
    auto* layout = new QVBoxLayout(this);
    browser = new QTextBrowser(this);
    browser->setObjectName("helpText");
    browser->setOpenLinks(true);
    browser->setHtml(HelpText().isEmpty() ? QString("<p>The help document is missing from this build.</p>")
                                          : HelpText());
    layout->addWidget(browser, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
    resize(560, 480);
}

void HelpViewer::ShowTopic(const QString& name) {
    topic = HasHelpTopic(name) ? name : QString("contents");
    browser->scrollToAnchor(topic);
    // A window shown just now is laid out later; scroll again then.
    QTimer::singleShot(0, browser, [this] { browser->scrollToAnchor(topic); });
}

HelpViewer* ShowHelpTopic(QWidget* parent, const QString& topic) {
    QWidget* owner = parent ? parent->window() : nullptr;
    HelpViewer* viewer = owner ? owner->findChild<HelpViewer*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!viewer) {
        viewer = new HelpViewer(owner);
        viewer->setAttribute(Qt::WA_DeleteOnClose);
    }
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    viewer->ShowTopic(topic);
    return viewer;
}

}  // namespace zandor
