#include "shell/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace zandor {

namespace {

const char* const kSocketName = "zandor-editor";

}  // namespace

QString PrivateDirectoryProblem(const QString& path, uid_t uid) {
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return path + ": " + QString::fromLocal8Bit(std::strerror(errno));
    if (S_ISLNK(status.st_mode)) return path + " is a symbolic link";
    if (!S_ISDIR(status.st_mode)) return path + " is not a directory";
    if (status.st_uid != uid) return path + " belongs to another user";
    if ((status.st_mode & 077) != 0) return path + " is open to other users";
    return {};
}

QString SocketDirectory(const QString& runtimeDirectory, const QString& tempRoot, uid_t uid, QString& problem) {
    problem.clear();
    if (!runtimeDirectory.isEmpty() && QDir::isAbsolutePath(runtimeDirectory) &&
        PrivateDirectoryProblem(runtimeDirectory, uid).isEmpty())
        return runtimeDirectory;
    const QString fallback = QDir::cleanPath(tempRoot) + "/zandor-" + QString::number(uid);
    const QByteArray encoded = QFile::encodeName(fallback);
    if (::mkdir(encoded.constData(), 0700) == 0) {
        // The umask may have taken more than it should.
        ::chmod(encoded.constData(), 0700);
    } else if (errno != EEXIST) {
        problem = fallback + ": " + QString::fromLocal8Bit(std::strerror(errno));
        return {};
    }
    problem = PrivateDirectoryProblem(fallback, uid);
    return problem.isEmpty() ? fallback : QString();
}

QString OpenRequestSocket(QString& problem) {
    const QString directory =
        SocketDirectory(qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath(), ::getuid(), problem);
    return directory.isEmpty() ? QString() : directory + "/" + kSocketName;
}

QString OpenRequestText(const QStringList& files) {
    QString text;
    for (const QString& f : files) text += "[open(\"" + f + "\")]\n";
    return text;
}

bool HandToRunningEditor(const QString& socketPath, const QStringList& files) {
    if (socketPath.isEmpty()) return false;
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(500)) return false;
    socket.write(OpenRequestText(files).toUtf8());
    const bool written = socket.waitForBytesWritten(2000) || socket.bytesToWrite() == 0;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(2000);
    return written;
}

bool ListenForOpenRequests(QLocalServer& server, const QString& socketPath, QString& error) {
    error.clear();
    if (socketPath.isEmpty()) {
        error = "no private directory for the socket";
        return false;
    }
    server.setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath);
    if (server.listen(socketPath)) return true;
    error = socketPath + ": " + server.errorString();
    return false;
}

void ServeOpenRequests(QLocalServer& server, QObject* context, std::function<void(const QString&)> handle) {
    QObject::connect(&server, &QLocalServer::newConnection, context, [&server, context, handle] {
        while (QLocalSocket* client = server.nextPendingConnection()) {
            QObject::connect(client, &QLocalSocket::disconnected, context, [client, handle] {
                handle(QString::fromUtf8(client->readAll()));
                client->deleteLater();
            });
        }
    });
}

}  // namespace zandor
