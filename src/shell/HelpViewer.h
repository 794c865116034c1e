// The editor's help: one document of topics, shown in a window of its own.
// The Help buttons of dialogs open the topic of their dialog; "Zandor Help"
// opens the contents.
#pragma once

#include <QDialog>
#include <QString>

class QTextBrowser;

namespace zandor {

class HelpViewer : public QDialog {
    Q_OBJECT
public:
    explicit HelpViewer(QWidget* parent = nullptr);
    // Scrolls to a topic; an unknown topic shows the contents.
    void ShowTopic(const QString& topic);
    QString Topic() const { return topic; }
    QTextBrowser& Browser() { return *browser; }

private:
    QTextBrowser* browser = nullptr;
    QString topic;
};

// Whether the help document has a topic of that name.
bool HasHelpTopic(const QString& topic);

// Shows a topic in the help window of parent's top-level window, making it
// first when there is none.  Called from a modal dialog, the window belongs to
// the dialog, so it can be read and scrolled while the dialog waits.
HelpViewer* ShowHelpTopic(QWidget* parent, const QString& topic);

}  // namespace zandor
