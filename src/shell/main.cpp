// zandor-editor: the mask layout editor.  A second start hands its files to
// the editor already running (a local socket carrying [open("...")] requests)
// and ends.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <cstdio>

#include "formats/AllFormats.h"
#include "platform/Messages.h"
#include "shell/FileAssociation.h"
#include "shell/MainForm.h"

namespace {

QString ServerName() { return "Zandor3-" + qEnvironmentVariable("USER", "user"); }

QString OpenRequest(const QStringList& files) {
    QString text;
    for (const QString& f : files) text += "[open(\"" + QFileInfo(f).absoluteFilePath() + "\")]\n";
    return text;
}

// True when a running editor took the files.
bool HandToRunningEditor(const QStringList& files) {
    QLocalSocket socket;
    socket.connectToServer(ServerName());
    if (!socket.waitForConnected(500)) return false;
    socket.write(OpenRequest(files).toUtf8());
    socket.waitForBytesWritten(2000);
    socket.disconnectFromServer();
    return true;
}

}  // namespace

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
    if (screenshot.isEmpty() && !qEnvironmentVariableIsSet("ZANDOR_SEPARATE_INSTANCE") && HandToRunningEditor(files))
        return 0;

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

    QLocalServer server;
    QLocalServer::removeServer(ServerName());
    server.listen(ServerName());
    QObject::connect(&server, &QLocalServer::newConnection, &form, [&] {
        QLocalSocket* client = server.nextPendingConnection();
        QObject::connect(client, &QLocalSocket::disconnected, client, [client, &form] {
            form.HandleOpenRequest(QString::fromUtf8(client->readAll()));
            client->deleteLater();
        });
    });

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
