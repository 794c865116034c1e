// One editor per user: a second start hands its files to the running editor
// over a local socket and ends.  The socket lies in a directory only the user
// may enter, so no one else can send the editor files to open or pose as it.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <sys/types.h>

class QLocalServer;
class QObject;

namespace zandor {

// Empty when path is a directory, not a symbolic link, owned by uid, that no
// one else may read, write or enter; otherwise what is wrong with it.
QString PrivateDirectoryProblem(const QString& path, uid_t uid);

// The directory of the socket: runtimeDirectory ($XDG_RUNTIME_DIR) when it is
// given and private, else tempRoot/zandor-<uid>, created with mode 0700 when
// missing.  Empty, with the reason in problem, when that one is not private
// either (someone else made it, or it is open to others).
QString SocketDirectory(const QString& runtimeDirectory, const QString& tempRoot, uid_t uid, QString& problem);

// The socket of this user's editor, from the environment; empty with the
// reason in problem when there is no private directory for it.
QString OpenRequestSocket(QString& problem);

// One [open("...")] line per file; the names should be absolute, as the
// running editor has its own working directory.
QString OpenRequestText(const QStringList& files);

// Hands the files to the editor listening on socketPath; false when none is.
bool HandToRunningEditor(const QString& socketPath, const QStringList& files);

// Listens on socketPath (a stale socket file is removed first) with access
// for this user only; false with the reason in error when it cannot.
bool ListenForOpenRequests(QLocalServer& server, const QString& socketPath, QString& error);

// Hands the text of every request to handle once its sender has finished
// (disconnected); context ends the connections' handling when destroyed.
void ServeOpenRequests(QLocalServer& server, QObject* context, std::function<void(const QString&)> handle);

}  // namespace zandor
