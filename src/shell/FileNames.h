// File names as the editor keeps them: absolute, so that they mean the same
// file whatever the working directory of the process that passes them on, and
// compared by the file they lead to rather than by their spelling.
#pragma once

#include <QString>

namespace zandor {

// A name from the command line, a drop or an open request: surrounding blanks
// go, a name that begins with a double quote loses its first and last
// character, a relative name is taken against baseDirectory, and "." and ".."
// parts and doubled slashes are resolved (symbolic links are kept).  An empty
// name stays empty.
QString AbsoluteFileName(QString name, const QString& baseDirectory);

// True when both names lead to the same file: by their canonical paths
// (symbolic links resolved) when both exist, else by their absolute names.
bool SameFile(const QString& a, const QString& b);

}  // namespace zandor
