#include "shell/LayoutPrinting.h"

#include <QBuffer>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include "display/Background.h"
#include "display/Grid.h"
#include "display/ObjectDrawing.h"
#include "display/PrintedPage.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "platform/ReplacingFile.h"
#include "platform/qt/QtCanvas.h"

namespace zandor {

namespace {

const char* const kJobTitle = "Zandor layout";

// Draws the page image over the printable area, given in points as the page
// description has it: a target in whole device pixels would scale the image
// by a fraction of a pixel and blur its one-pixel lines.
bool PaintPage(QPaintDevice& device, int resolution, const QSizeF& points, const QImage& page) {
    QPainter painter;
    if (!painter.begin(&device)) return false;
    // Lossless: JPEG would smear the hatches and outlines too.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    painter.drawImage(QRectF(QPointF(0, 0), points * (resolution / 72.0)), page);
    return painter.end();
}

QString WriteFileWhole(const QString& name, const QByteArray& bytes) {
    platform::ReplacingFile file;
    if (!file.Open(name.toStdString())) return "The file " + name + " cannot be written.";
    file.Put(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (!file.Commit()) return "The file " + name + " cannot be written.";
    return {};
}

}  // namespace

QImage RenderPrintedPage(const PrintRequest& request, double deviceWidth, double deviceHeight) {
    Layout& layout = *request.layout;
    const ViewState windowMapping = layout.view;
    const PrintedPage page =
        ComputePrintedPage(deviceWidth, deviceHeight, std::int64_t{layout.view.xmax} - layout.view.xmin,
                           std::int64_t{layout.view.ymax} - layout.view.ymin);
    QImage image(page.width, page.height, QImage::Format_RGB32);
    QImage area(page.areaWidth, page.areaHeight, QImage::Format_RGB32);
    if (image.isNull() || area.isNull()) return {};
    MapPrintedArea(layout, page);
    {
        QtCanvas canvas(image);
        canvas.Clear(0xFFFFFF);
        DrawPrintedRulers(canvas, page, layout, request.panelWidth, request.panelHeight);
    }
    {
        const bool black = Settings().backgroundBlack;
        QtCanvas canvas(area);
        canvas.Clear(black ? 0x000000u : 0xFFFFFFu);
        // Symbol names and the mask label are written in the ruler font.
        canvas.SetFont({page.fontHeight, 400, "MS Sans Serif", 0});
        request.background->DrawBackground(layout, canvas, true, black);
        DrawLayoutOnCanvas(layout, canvas);
        if (request.showGrid) {
            Grid grid = *request.grid;
            grid.UpdateGridSteps(layout);
            grid.DrawGrid(layout, canvas, black, true);
        }
    }
    layout.view = windowMapping;
    QPainter(&image).drawImage(page.areaLeft, page.areaTop, area);
    return image;
}

QString PrintLayout(const PrintRequest& request, QPrinter& printer) {
    printer.setDocName(kJobTitle);
    const bool toFile = printer.outputFormat() == QPrinter::PdfFormat;
    const QString fileName = printer.outputFileName();
    if (toFile && fileName.isEmpty()) return "No file was chosen to print to.";
    const QSizeF printable = printer.pageLayout().paintRectPoints().size();
    const QImage page = RenderPrintedPage(request, printable.width(), printable.height());
    if (page.isNull()) return "There is not enough memory to print the layout.";
    if (!toFile) {
        if (!printer.isValid()) return "No printer is installed.";
        return PaintPage(printer, printer.resolution(), printable, page) ? QString()
                                                                         : "The print job could not be started.";
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setTitle(kJobTitle);
        writer.setCreator("Zandor 3.2");
        writer.setResolution(printer.resolution());
        writer.setPageLayout(printer.pageLayout());
        if (!PaintPage(writer, writer.resolution(), printable, page)) return "The PDF file could not be made.";
    }
    return WriteFileWhole(QFileInfo(fileName).absoluteFilePath(), bytes);
}

}  // namespace zandor
