#include "shell/ShellServices.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/Layout.h"
#include "shell/HelpViewer.h"

namespace zandor {

namespace {

struct SaveType {
    FileType type;
    const char* filter;
};
constexpr SaveType kSaveTypes[] = {
    {FileCif, "CIF files (*.cif)"},
    {FileGds, "GDS-II files (*.gds)"},
    {FileDxf, "DXF files (*.dxf)"},
};

}  // namespace

QString SaveAsFilter() {
    QStringList filters;
    for (const SaveType& t : kSaveTypes)
        if (FindWriter(t.type)) filters << t.filter;
    return filters.join(";;");
}

void QtMessageService::Show(std::string_view text, std::string_view caption) {
    const QString body = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QString title = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
    const QMessageBox::Icon icon = caption == "Error"     ? QMessageBox::Critical
                                   : caption == "Warning" ? QMessageBox::Warning
                                                          : QMessageBox::Information;
    QMessageBox box(icon, title, body, QMessageBox::Ok, owner);
    if (QApplication::overrideCursor()) QApplication::changeOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (QApplication::overrideCursor()) QApplication::changeOverrideCursor(Qt::WaitCursor);
}

void QtProgressService::SetProgress(int percent) {
    if (!bar) return;
    if (percent <= 0 && !busy) {
        busy = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        bar->setValue(0);
        bar->show();
    } else if (percent >= 100) {
        if (busy) QApplication::restoreOverrideCursor();
        busy = false;
        bar->hide();
    } else {
        bar->setValue(percent);
    }
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool QtDocumentDialogs::SaveAs(std::string& fileName, FileType& type, SaveOptions& options) {
    QDialog dialog(owner);
    dialog.setWindowTitle("Save As");
    auto* layout = new QGridLayout(&dialog);
    auto* name = new QLineEdit(QString::fromStdString(fileName), &dialog);
    auto* browse = new QPushButton("Browse...", &dialog);
    layout->addWidget(new QLabel("File name:", &dialog), 0, 0);
    layout->addWidget(name, 0, 1);
    layout->addWidget(browse, 0, 2);
    auto* noExtensions = new QCheckBox("Do not use Zandor extensions", &dialog);
    auto* flatten = new QCheckBox("Flatten file structure", &dialog);
    auto* removeEmpty = new QCheckBox("Remove empty symbol definitions", &dialog);
    auto* removeUnused = new QCheckBox("Remove unused symbol definitions", &dialog);
    noExtensions->setChecked(options.noExtensions);
    flatten->setChecked(options.flatten);
    removeEmpty->setChecked(options.removeEmpty);
    removeUnused->setChecked(options.removeUnused);
    int row = 1;
    for (QCheckBox* box : {noExtensions, flatten, removeEmpty, removeUnused}) layout->addWidget(box, row++, 1, 1, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons, row, 0, 1, 3);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(browse, &QPushButton::clicked, &dialog, [&] {
        const QString chosen = QFileDialog::getSaveFileName(&dialog, "Save As", name->text(), SaveAsFilter());
        if (!chosen.isEmpty()) name->setText(chosen);
    });
    if (dialog.exec() != QDialog::Accepted || name->text().isEmpty()) return false;
    fileName = name->text().toStdString();
    type = FileTypeOf(fileName);
    if (type == FileUnknown) type = FileCif;
    options = {noExtensions->isChecked(), flatten->isChecked(), removeEmpty->isChecked(), removeUnused->isChecked()};
    return true;
}

MainSymbolDialog::MainSymbolDialog(const QStringList& candidates, QWidget* parent) : QDialog(parent) {
    setObjectName("mainSymbolDialog");
    setWindowTitle("Main symbol");
    setMinimumWidth(420);  // the question on one line
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(kText, this);
    text->setObjectName("mainSymbolText");
    text->setWordWrap(true);
    layout->addWidget(text);
    combo = new QComboBox(this);
    combo->setObjectName("SymbolCombo");
    combo->setEditable(false);
    combo->addItems(candidates);
    combo->setCurrentIndex(candidates.isEmpty() ? -1 : 0);
    text->setBuddy(combo);
    layout->addWidget(combo);
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    buttons->button(QDialogButtonBox::Help)->setText("&Help");
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [this] { ShowHelpTopic(this, kHelpTopic); });
}

int MainSymbolDialog::Chosen() const { return combo->currentIndex(); }

int QtDocumentDialogs::ChooseMainSymbol(const std::vector<std::string>& candidates) {
    QStringList names;
    for (const std::string& c : candidates) names << QString::fromStdString(c);
    MainSymbolDialog dialog(names, owner);
    // The layout is read under the busy cursor; the question wants the arrow.
    if (QApplication::overrideCursor()) QApplication::changeOverrideCursor(Qt::ArrowCursor);
    const int result = dialog.exec();
    if (QApplication::overrideCursor()) QApplication::changeOverrideCursor(Qt::WaitCursor);
    if (result != QDialog::Accepted) return -1;
    return dialog.Chosen();
}

}  // namespace zandor
