#include "shell/FileNames.h"

#include <QDir>
#include <QFileInfo>

namespace zandor {

QString AbsoluteFileName(QString name, const QString& baseDirectory) {
    name = name.trimmed();
    if (name.startsWith('"')) name = name.mid(1, name.size() - 2);
    if (name.isEmpty()) return name;
    return QDir::cleanPath(QDir(baseDirectory).absoluteFilePath(name));
}

bool SameFile(const QString& a, const QString& b) {
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    const QString canonicalB = QFileInfo(b).canonicalFilePath();
    if (!canonicalA.isEmpty() && !canonicalB.isEmpty()) return canonicalA == canonicalB;
    return QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

}  // namespace zandor
