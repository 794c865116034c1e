// zandor-editor: the mask layout editor.  A second start hands its files to
// the editor already running (a local socket carrying [open("...")] requests)
// and ends.
#include <QApplication>
#include <QDir>
#include <QLocalServer>
#include <QTimer>
#include <cstdio>

#include "formats/AllFormats.h"
#include "platform/Messages.h"
#include "shell/FileAssociation.h"
#include "shell/FileNames.h"
#include "shell/MainForm.h"
#include "shell/SingleInstance.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Zandor");
    QApplication::setOrganizationName("Korvat");
    QStringList files = app.arguments().mid(1);
    // --screenshot FILE: take a picture of the window once the files are
    // drawn, then end (used for the documentation).
    QString screenshot;
    if (const auto at = files.indexOf("--screenshot"); at >= 0 && at + 1 < files.size()) {
        screenshot = files[at + 1];
        files.remove(at, 2);
    }
    // Relative names mean the caller's working directory, also to an editor
    // that was started elsewhere.
    for (QString& f : files) f = zandor::AbsoluteFileName(f, QDir::currentPath());
    if (!screenshot.isEmpty()) screenshot = zandor::AbsoluteFileName(screenshot, QDir::currentPath());

    const bool single = screenshot.isEmpty() && !qEnvironmentVariableIsSet("ZANDOR_SEPARATE_INSTANCE");
    QString socketProblem;
    const QString socketPath = single ? zandor::OpenRequestSocket(socketProblem) : QString();
    if (single && zandor::HandToRunningEditor(socketPath, files)) return 0;

    zandor::RegisterFileFormats();
    zandor::RegisterFileAssociation(QApplication::applicationFilePath());
    // A picture is taken without anyone to answer message boxes: messages go
    // to standard error instead.
    struct ConsoleMessages : zandor::platform::MessageService {
        void Show(std::string_view text, std::string_view caption) override {
            std::fprintf(stderr, "%.*s: %.*s\n", int(caption.size()), caption.data(), int(text.size()), text.data());
        }
    } consoleMessages;
    if (!screenshot.isEmpty()) zandor::platform::SetMessageService(&consoleMessages);
    zandor::MainForm form(screenshot.isEmpty());
    form.show();

    // Without its socket the editor still runs; a second start then opens
    // an editor of its own.
    QLocalServer server;
    if (single) {
        QString error = socketProblem;
        if (error.isEmpty()) zandor::ListenForOpenRequests(server, socketPath, error);
        if (!error.isEmpty())
            std::fprintf(stderr,
                         "zandor-editor: warning: cannot take open requests from a second start (%s); "
                         "files given to it will open in a separate editor\n",
                         qPrintable(error));
    }
    zandor::ServeOpenRequests(server, &form, [&form](const QString& request) { form.HandleOpenRequest(request); });

    QTimer::singleShot(0, &form, [&form, files, screenshot] {
        for (const QString& f : files) form.OpenFile(f);
        if (screenshot.isEmpty()) return;
        QTimer::singleShot(1500, &form, [&form, screenshot] {
            const bool saved = form.grab().save(screenshot);
            if (!saved) std::fprintf(stderr, "zandor-editor: cannot write %s\n", qPrintable(screenshot));
            QApplication::exit(saved ? 0 : 1);
        });
    });
    return app.exec();
}
