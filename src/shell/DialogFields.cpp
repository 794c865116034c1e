#include "shell/DialogFields.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>

#include "model/Geometry.h"
#include "shell/HelpViewer.h"

namespace zandor {

QLineEdit* Field(const char* name, const QString& text, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    return edit;
}

QDialogButtonBox* OkCancel(QDialog* dialog, const QString& helpTopic) {
    QDialogButtonBox::StandardButtons kinds = QDialogButtonBox::Ok | QDialogButtonBox::Cancel;
    if (!helpTopic.isEmpty()) kinds |= QDialogButtonBox::Help;
    auto* buttons = new QDialogButtonBox(kinds, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    if (!helpTopic.isEmpty()) {
        buttons->button(QDialogButtonBox::Help)->setText("&Help");
        QObject::connect(buttons, &QDialogButtonBox::helpRequested, dialog,
                         [dialog, helpTopic] { ShowHelpTopic(dialog, helpTopic); });
    }
    return buttons;
}

std::string Text(const QLineEdit* field) { return field->text().trimmed().toStdString(); }

void Focus(QWidget* field) {
    field->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
}

QString Microns(std::int32_t units) { return QString::fromStdString(FormatMicrons(units)); }

}  // namespace zandor
