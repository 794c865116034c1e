// Small pieces every dialog of the editor is built from: named edit fields,
// the button row, and reading what was typed.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

class QDialog;
class QDialogButtonBox;
class QLineEdit;
class QWidget;

namespace zandor {

// A line edit with an object name, so that tests and help find it.
QLineEdit* Field(const char* name, const QString& text, QWidget* parent);
// OK and Cancel wired to accept and reject; with a help topic also "&Help".
QDialogButtonBox* OkCancel(QDialog* dialog, const QString& helpTopic = QString());
// The field's text without surrounding blanks.
std::string Text(const QLineEdit* field);
// Puts the caret into a field that was refused, its text selected.
void Focus(QWidget* field);
// Database units as micrometres in the general format.
QString Microns(std::int32_t units);

}  // namespace zandor
