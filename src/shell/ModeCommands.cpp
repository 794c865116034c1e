// The interaction modes of the main window: the mode commands and their
// letters, the settings bound to a mode (wire settings, text properties), the
// view's pop-up menus and the insertions that need a dialog (texts, script
// objects).
#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QToolBar>
#include <dlfcn.h>

#include "editing/HitTesting.h"
#include "geometry/TextOutlines.h"
#include "model/ModelSettings.h"
#include "model/SymbolDescription.h"
#include "platform/Messages.h"
#include "shell/EditDialogs.h"
#include "shell/LayoutView.h"
#include "shell/LayoutWindow.h"
#include "shell/MainForm.h"

namespace zandor {

namespace {

struct ModeCommand {
    const char* name;
    const char* caption;
    int mode;
    const char* key;
    const char* status;
};

const ModeCommand kModeCommands[] = {
    {"ActionModeArrow", "Edit objects", 0, nullptr, "Edit objects"},
    {"ActionModeNodes", "Edit nodes", 1, "N", "Edit nodes"},
    {"ActionModeZoom", "Zoom", 2, "Z",
     "Zoom: click to zoom in, drag a rectangle, right click to zoom out, right drag to pan"},
    {"ActionModeRect", "Insert rectangles", 3, "R", "Insert rectangle..."},
    {"ActionModePoly", "Insert polygons", 4, "P", "Insert polygon..."},
    {"ActionModeWire", "Insert wires", 5, "W", "Insert wire..."},
    {"ActionModeCircle", "Insert circles", 6, "C", "Insert circle..."},
    {"ActionModeArcwire", "Insert arc-wires and rings", 7, "A", "Insert arc-wire..."},
    {"ActionModeText", "Insert text", 8, "T", "Insert text..."},
    {"ActionModeScript", "Script", 9, "S", "Insert script object..."},
    {"ActionModeMeasure", "Measure", 10, "M", "New measurement..."},
};

}  // namespace

// The script engine is a library loaded at run time; without it the script
// mode is not offered.  It is looked for beside the program, then on the
// library path, and released again at once.
bool ScriptEngineAvailable() {
    static const bool available = [] {
        const QString beside = QCoreApplication::applicationDirPath() + "/libzanscrpt.so";
        for (const QByteArray& name : {QFile::encodeName(beside), QByteArray("libzanscrpt.so")}) {
            if (void* handle = dlopen(name.constData(), RTLD_NOW | RTLD_LOCAL)) {
                dlclose(handle);
                return true;
            }
        }
        return false;
    }();
    return available;
}

std::vector<MainForm::CommandEntry> MainForm::ModeCommandEntries() {
    hiddenWhenDisabled << "ActionModeScript"
                       << "ActionWireThickness"
                       << "ActionTextProperties";
    separatorBefore << "ActionWireThickness";
    std::vector<CommandEntry> entries;
    for (const ModeCommand& m : kModeCommands) {
        QList<QKeySequence> keys;
        if (m.key) keys = {QKeySequence(m.key), QKeySequence(QString("Shift+") + m.key)};
        const int target = m.mode;
        std::function<bool()> enabled;
        if (target == 9) enabled = [] { return ScriptEngineAvailable(); };
        entries.push_back({m.name, m.caption, keys, "&Mode", true, [this, target] { SetMode(target); }, enabled,
                           [this, target] { return mode == target; }});
    }
    entries.push_back({"ActionModeToggle",
                       "Previous mode",
                       {QKeySequence(Qt::Key_Space)},
                       "",
                       false,
                       [this] { SetMode(mode != 0 ? 0 : previousMode); },
                       {},
                       {}});
    entries.push_back({"ActionWireThickness",
                       "&Wire settings...",
                       {},
                       "&Mode",
                       false,
                       [this] { EditWireSettings(); },
                       [this] { return mode == 5; },
                       {}});
    entries.push_back({"ActionTextProperties",
                       "&Text properties...",
                       {},
                       "&Mode",
                       false,
                       [this] { EditTextProperties(); },
                       [this] { return mode == 8; },
                       {}});
    return entries;
}

void MainForm::BuildModeSelector() {
    modeGroup = new QActionGroup(this);
    modeBar = addToolBar("Modes");
    modeBar->setObjectName("ModeToolbar");
    for (const ModeCommand& m : kModeCommands) {
        QAction* action = commands[m.name];
        modeGroup->addAction(action);
        modeBar->addAction(action);
    }
}

void MainForm::SetMode(int next) {
    if (next < 0 || next > 10) {
        platform::ShowError("Illegal drawing mode");
        next = 0;
    }
    if (next == 9 && !ScriptEngineAvailable()) {
        platform::ShowError("Unable to load the script dll");
        return;
    }
    if (mode != 0 && next != mode) previousMode = mode;
    if (next != 0) previousMode = next;
    mode = next;
    for (LayoutWindow* w : LayoutWindows()) w->View().SetMode(mode);
    for (const ModeCommand& m : kModeCommands)
        if (m.mode == mode) SetStatus(0, m.status);
    UpdateCommands();
}

void MainForm::EditWireSettings() {
    WireSettingsDialog dialog(settings.wireThickness, settings.wireStyle, this);
    if (dialog.exec() != QDialog::Accepted) return;
    settings.wireThickness = dialog.Width();
    settings.wireStyle = dialog.EndStyle();
}

void MainForm::EditTextProperties() {
    LOGFONTA& font = zandor::Settings().textFont;
    TextPropertiesDialog dialog(settings.textHeight, settings.textAngle, QString::fromLatin1(font.lfFaceName), this);
    if (dialog.exec() != QDialog::Accepted) return;
    settings.textHeight = dialog.Height();
    settings.textAngle = dialog.MilliDegrees();
    const QByteArray face = dialog.Face().toLatin1().left(sizeof(font.lfFaceName) - 1);
    if (!face.isEmpty()) {
        std::fill(std::begin(font.lfFaceName), std::end(font.lfFaceName), '\0');
        std::copy(face.begin(), face.end(), font.lfFaceName);
        font.lfWeight = dialog.Bold() ? 700 : 400;
        font.lfItalic = dialog.Italic() ? 1 : 0;
    }
}

// The text mode's release: the text is asked for and placed at the point
// with the height, angle and font of the text properties.
void MainForm::InsertTextAt(Point at) {
    Layout* layout = ActiveLayout();
    if (!layout || !layout->Layer(layout->activeLayer)) return;
    QString text;
    if (!AskText("Insert text...", "Enter text:", text) || text.isEmpty()) return;
    const std::string chars = text.toLatin1().toStdString();
    const int layer = layout->activeLayer;
    const double degrees = settings.textAngle / 1000.0;
    const std::int32_t height = settings.textHeight;
    const LOGFONTA font = zandor::Settings().textFont;
    RunEdit([&](SymbolDescription& s) {
        s.DeselectAll();
        const bool made = AddTextOutlines(s, chars, height, at.X, at.Y, degrees, layer, font);
        s.UpdateSelection();
        return made;
    });
}

void MainForm::ShowViewMenu(ViewMenu kind, QPoint global) {
    UpdateCommands();
    QMenu menu(this);
    const auto add = [&](const char* name, bool isDefault = false) {
        // Commands still to come (the mask size, the cross section) are left
        // out until they exist.
        QAction* action = commands.value(name);
        if (!action || !action->isVisible()) return;
        menu.addAction(action);
        if (isDefault) menu.setDefaultAction(action);
    };
    const auto snapMenu = [&] {
        QMenu* snap = menu.addMenu("Snap to");
        for (const char* name : {"ActionLayoutSnapGrid", "ActionLayoutSnapGuidelines", "ActionLayoutSnapOrtho"})
            if (QAction* action = commands.value(name)) snap->addAction(action);
    };
    LayoutWindow* window = ActiveLayoutWindow();
    switch (kind) {
        case ViewMenu::Selection: {
            const SymbolDescription* symbol = CurrentSymbol();
            const bool oneCall = symbol && symbol->selectedCount == 1 &&
                                 (symbol->currentKind == int(ObjectKind::SymbolCall) ||
                                  symbol->currentKind == int(ObjectKind::SymbolArray));
            if (oneCall)
                add("ActionArrangeOpen", true);
            else
                add("ActionEditProperties", true);
            for (const char* name : {"ActionEditConvertArcIntoWire", "ActionEditCut", "ActionEditCopy",
                                     "ActionEditDelete", "ActionEditDuplicate"})
                add(name);
            QMenu* transform = menu.addMenu("Transform");
            for (const char* name : {"ActionEditMove", "ActionEditRotate", "ActionEditScale", "ActionEditMirror",
                                     "ActionEditMirrorH", "ActionEditMirrorV", "ActionEditGrowShrink"})
                if (QAction* action = commands.value(name)) transform->addAction(action);
            QMenu* shaping = menu.addMenu("Shaping");
            for (const char* name : {"ActionEditMerge", "ActionEditIntersect", "ActionEditSubtract", "ActionEditXOR",
                                     "ActionEditInvert", "ActionEditConvertIntoPolygons", "ActionEditConnectWires"})
                if (QAction* action = commands.value(name)) shaping->addAction(action);
            break;
        }
        case ViewMenu::General:
            for (const char* name : {"ActionEditUndo", "ActionEditPaste", "ActionArrangeClose"}) add(name);
            snapMenu();
            add("ActionLayoutMaskSize");
            add("ActionLayoutPreferences");
            break;
        case ViewMenu::Nodes:
            add("ActionEditProperties", true);
            add("ActionEditConvertArcIntoWire");
            add("ActionEditUndo");
            add("ActionEditTransform");
            snapMenu();
            break;
        case ViewMenu::Insertion:
            for (const char* name : {"ActionEditUndo", "ActionEditDuplicate", "ActionEditTransform",
                                     "ActionEditProperties", "ActionEditConvertArcIntoWire"})
                add(name);
            if (mode == 5 || mode == 8) menu.addSeparator();
            add("ActionWireThickness");
            add("ActionTextProperties");
            break;
        case ViewMenu::Measurement: {
            QAction* hide = menu.addAction("&Hide measurement");
            connect(hide, &QAction::triggered, this, [window] {
                if (window) window->View().HideMeasurement();
            });
            add("ActionViewCrossSection");
            break;
        }
    }
    if (!menu.isEmpty()) menu.exec(global);
}

}  // namespace zandor
