// The dialogs of the Edit, Layout and Arrange commands: transform (move,
// scale, rotate, mirror, grow/shrink), duplicate, new symbol, the
// replace-symbols question and the preferences.  Each dialog checks what was
// typed when OK is pressed and stays open after a message, so that the
// command only ever sees values it can use.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "model/Types.h"

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSettings;
class QSpinBox;
class QTabWidget;

namespace zandor {

struct ModelSettings;
struct ShellSettings;

// Pages of the transform dialog, in tab order.
enum class TransformPage { Move, Scale, Rotate, Mirror, GrowShrink };

// What the transform dialog asks for, lengths in nanometres.
struct TransformRequest {
    TransformPage page = TransformPage::Move;
    bool leaveOriginal = false;
    // Move: by (x, y) when relative, else to (x, y); the selection box's
    // centre or lower-left corner goes there.
    double moveX = 0, moveY = 0;
    bool moveRelative = false;
    bool centreAtNewPosition = false;
    // Scale: factors (the percentages / 100).
    double scaleX = 1, scaleY = 1;
    // Rotate: degrees counter-clockwise about (rotX, rotY).
    double angle = 0;
    double rotX = 0, rotY = 0;
    // Mirror about the line x = origin (horizontal) or y = origin.
    bool mirrorVertical = false;
    double mirrorOrigin = 0;
    // Grow/shrink.
    std::int32_t amount = 0;
    bool roundCorners = false;
};

// The transform dialog keeps its field values between uses: one instance
// lives as long as the main window.
class TransformDialog : public QDialog {
    Q_OBJECT
public:
    explicit TransformDialog(QWidget* parent = nullptr);
    // Shows the page and puts the rotation centre at the given point (nm).
    void Prepare(TransformPage page, double centreX, double centreY);
    TransformRequest Request() const { return request; }
    QTabWidget& Pages() { return *pages; }

    void accept() override;

private:
    bool ReadFields();

    QTabWidget* pages = nullptr;
    QCheckBox* leaveOriginal = nullptr;
    QLineEdit *moveX = nullptr, *moveY = nullptr;
    QCheckBox *moveRelative = nullptr, *centreAtNewPosition = nullptr;
    QLineEdit *scaleX = nullptr, *scaleY = nullptr;
    QCheckBox *keepAspect = nullptr, *scaleWires = nullptr;
    QLineEdit *angle = nullptr, *rotX = nullptr, *rotY = nullptr;
    QRadioButton *mirrorHorizontal = nullptr, *mirrorVertical = nullptr;
    QLineEdit* mirrorOrigin = nullptr;
    QLineEdit* amount = nullptr;
    QCheckBox* roundCorners = nullptr;
    TransformRequest request;
};

struct DuplicateRequest {
    int rows = 0, columns = 0;
    std::int32_t rowSpacing = 0, columnSpacing = 0;
    bool asArray = false;
};

// Rows and columns are remembered in the settings ("Duplicate", "Rows" and
// "Cols"): read when the dialog is made, written when it goes.
class DuplicateDialog : public QDialog {
    Q_OBJECT
public:
    DuplicateDialog(QSettings* ini, QWidget* parent = nullptr);
    ~DuplicateDialog() override;
    // Spacings in nanometres; the array box is offered only for a single call.
    void Prepare(std::int32_t rowSpacing, std::int32_t columnSpacing, bool singleCall);
    DuplicateRequest Request() const { return request; }

    void accept() override;

private:
    QSettings* ini;
    QLineEdit *rows = nullptr, *columns = nullptr, *rowSpacing = nullptr, *columnSpacing = nullptr;
    QCheckBox* asArray = nullptr;
    DuplicateRequest request;
};

// "New symbol...": the name and the origin, which nine buttons put on the
// corners, edge middles and centre of the selection box.
class NewSymbolDialog : public QDialog {
    Q_OBJECT
public:
    NewSymbolDialog(const QString& name, const Rect& selectionBox, QWidget* parent = nullptr);
    QString Name() const;
    Point Origin() const { return origin; }

    void accept() override;

private:
    void PlaceOrigin(int button);

    Rect box;
    QLineEdit* name = nullptr;
    QLineEdit *originX = nullptr, *originY = nullptr;
    QRadioButton* buttons[9] = {};
    bool placing = false;
    Point origin;
};

// "Replace existing symbols?" with the names listed; Yes and No.
class ReplaceSymbolsDialog : public QDialog {
    Q_OBJECT
public:
    ReplaceSymbolsDialog(const std::vector<std::string>& names, QWidget* parent = nullptr);
};

// The editing preferences: selection by all nodes, polygon splitting, the
// segment counts of circles and rings, the node limit and the polygon grid.
class PreferencesDialog : public QDialog {
    Q_OBJECT
public:
    PreferencesDialog(const ShellSettings& shell, const ModelSettings& model, QWidget* parent = nullptr);
    // The values shown, into the settings.
    void Apply(ShellSettings& shell, ModelSettings& model) const;

    void accept() override;

private:
    QCheckBox *allNodes = nullptr, *splitLarge = nullptr;
    QSpinBox *circleSegments = nullptr, *ringSegments = nullptr, *maxPolyNodes = nullptr;
    QLineEdit* polygonGrid = nullptr;
    std::int32_t grid = 1;
};

// "Wire settings...": the width (micrometres) and the end style of the
// wires and arc-wires the insertion modes draw.
class WireSettingsDialog : public QDialog {
    Q_OBJECT
public:
    WireSettingsDialog(std::int32_t width, int endStyle, QWidget* parent = nullptr);
    std::int32_t Width() const { return width; }
    int EndStyle() const;

    void accept() override;

private:
    QLineEdit* widthField = nullptr;
    QRadioButton* styles[3] = {};
    std::int32_t width = 0;
};

// "Text properties...": the height (micrometres), the angle (degrees) and
// the font of the texts the text mode places.
class TextPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    TextPropertiesDialog(std::int32_t height, std::int32_t milliDegrees, const QString& face,
                         QWidget* parent = nullptr);
    std::int32_t Height() const { return height; }
    std::int32_t MilliDegrees() const { return angle; }
    QString Face() const { return face; }
    bool Bold() const { return bold; }
    bool Italic() const { return italic; }

    void accept() override;

private:
    void ChooseFont();

    QLineEdit *heightField = nullptr, *angleField = nullptr;
    QLabel* fontLabel = nullptr;
    std::int32_t height = 0, angle = 0;
    QString face;
    bool bold = false, italic = false;
};

}  // namespace zandor
