// What other applications see of the private clipboard: a picture of the
// copied objects, announced without data and drawn from the clipboard store
// only when an application asks for it, as an image (PNG) or as SVG.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QMimeData>

namespace zandor {

class Layout;

// The store's main symbol at the picture extent of its copied box, on the
// background in force; a null image when it cannot be allocated.  The image
// keeps the suggested size of the picture: 0.2 mm per unit.
QImage RenderCopiedImage(Layout& store);
QByteArray RenderCopiedSvg(Layout& store);

class ClipboardPicture : public QMimeData {
    Q_OBJECT
public:
    // The store must outlive the picture or be let go with Detach first.
    explicit ClipboardPicture(Layout& store);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

    // Renders every format now and lets the store go: the picture then
    // no longer depends on what the store holds later.  False when the image
    // could not be rendered.
    bool Materialize();

    // How many times a format was rendered (announcing renders nothing).
    int Renderings() const { return renderings; }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    // Draws the formats not drawn yet from the store.
    void Render(const QString& mimeType) const;

    Layout* store;
    mutable QImage image;
    mutable QByteArray png;
    mutable QByteArray svg;
    mutable int renderings = 0;
};

}  // namespace zandor
