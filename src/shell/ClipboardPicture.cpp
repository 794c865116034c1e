#include "shell/ClipboardPicture.h"

#include <QBuffer>
#include <QPainter>
#include <QSvgGenerator>

#include "display/CopiedPicture.h"
#include "model/Layout.h"
#include "platform/qt/PainterCanvas.h"
#include "platform/qt/QtCanvas.h"

namespace zandor {

namespace {

const char* const kImageFormat = "application/x-qt-image";
const char* const kPngFormat = "image/png";
const char* const kSvgFormat = "image/svg+xml";
// A picture unit is 0.2 mm on paper: 5000 units per metre, 127 per inch.
constexpr int kUnitsPerMetre = 5000;
constexpr int kUnitsPerInch = 127;

PictureSize StoreSize(const Layout& store) {
    const Rect box = CopiedBox(store);
    return CopiedPictureSize(std::int64_t{box.maxx} - box.minx, std::int64_t{box.maxy} - box.miny);
}

}  // namespace

QImage RenderCopiedImage(Layout& store) {
    const PictureSize size = StoreSize(store);
    QImage image(size.width, size.height, QImage::Format_RGB32);
    if (image.isNull()) return image;
    image.setDotsPerMeterX(kUnitsPerMetre);
    image.setDotsPerMeterY(kUnitsPerMetre);
    QtCanvas canvas(image);
    DrawCopiedPicture(store, canvas, size);
    return image;
}

QByteArray RenderCopiedSvg(Layout& store) {
    const PictureSize size = StoreSize(store);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(QSize(size.width, size.height));
    generator.setViewBox(QRect(0, 0, size.width, size.height));
    generator.setResolution(kUnitsPerInch);
    generator.setTitle("Zandor layout");
    QPainter painter;
    if (!painter.begin(&generator)) return {};
    PainterCanvas canvas(painter);
    DrawCopiedPicture(store, canvas, size);
    painter.end();
    return bytes;
}

ClipboardPicture::ClipboardPicture(Layout& source) : store(&source) {}

QStringList ClipboardPicture::formats() const { return {kImageFormat, kPngFormat, kSvgFormat}; }

bool ClipboardPicture::hasFormat(const QString& mimeType) const { return formats().contains(mimeType); }

void ClipboardPicture::Render(const QString& mimeType) const {
    if (!store) return;
    if ((mimeType == kImageFormat || mimeType == kPngFormat) && image.isNull()) {
        image = RenderCopiedImage(*store);
        ++renderings;
    }
    if (mimeType == kPngFormat && png.isEmpty() && !image.isNull()) {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    if (mimeType == kSvgFormat && svg.isEmpty()) {
        svg = RenderCopiedSvg(*store);
        ++renderings;
    }
}

bool ClipboardPicture::Materialize() {
    for (const QString& format : formats()) Render(format);
    store = nullptr;
    return !image.isNull() && !png.isEmpty() && !svg.isEmpty();
}

QVariant ClipboardPicture::retrieveData(const QString& mimeType, QMetaType type) const {
    Render(mimeType);
    if (mimeType == kImageFormat) {
        if (image.isNull()) return {};
        // Asked for bytes, an application gets the PNG.
        if (type.id() == QMetaType::QByteArray) {
            Render(kPngFormat);
            return png;
        }
        return image;
    }
    if (mimeType == kPngFormat) return png.isEmpty() ? QVariant() : QVariant(png);
    if (mimeType == kSvgFormat) return svg.isEmpty() ? QVariant() : QVariant(svg);
    return {};
}

}  // namespace zandor
