#include "shell/FileAssociation.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

namespace zandor {

namespace {

bool WriteIfChanged(const QString& path, const QString& text) {
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && QString::fromUtf8(existing.readAll()) == text) return false;
    existing.close();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    file.write(text.toUtf8());
    return true;
}

}  // namespace

void RegisterFileAssociation(const QString& programPath) {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty()) data = QDir::homePath() + "/.local/share";
    const QString applications = data + "/applications", mime = data + "/mime/packages";
    if (!QDir().mkpath(applications) || !QDir().mkpath(mime)) return;

    const QString desktop = QString(
                                "[Desktop Entry]\n"
                                "Type=Application\n"
                                "Name=Zandor\n"
                                "Comment=Photolithography mask layout editor\n"
                                "Exec=\"%1\" %F\n"
                                "Terminal=false\n"
                                "Categories=Graphics;Engineering;\n"
                                "MimeType=application/x-zandor-cif;application/x-gdsii;\n")
                                .arg(programPath);
    WriteIfChanged(applications + "/zandor.desktop", desktop);

    const QString types =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        "  <mime-type type=\"application/x-zandor-cif\">\n"
        "    <comment>Zandor Layout (CIF)</comment>\n"
        "    <glob pattern=\"*.cif\"/>\n"
        "  </mime-type>\n"
        "  <mime-type type=\"application/x-gdsii\">\n"
        "    <comment>Zandor Layout (GDSII stream)</comment>\n"
        "    <glob pattern=\"*.gds\"/>\n"
        "  </mime-type>\n"
        "</mime-info>\n";
    if (WriteIfChanged(mime + "/zandor-layout.xml", types)) {
        const QString update = QStandardPaths::findExecutable("update-mime-database");
        if (!update.isEmpty()) QProcess::startDetached(update, {data + "/mime"});
    }
}

}  // namespace zandor
