#include "platform/qt/PictureFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <string_view>

#include "platform/ReplacingFile.h"
#include "platform/qt/QtCanvas.h"

namespace zandor {

namespace {

// Fonts need a GUI application; without a display the offscreen platform does.
void EnsureGuiApplication() {
    if (QGuiApplication::instance()) return;
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "zandor";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

}  // namespace

bool WritePngPicture(const std::string& path, int width, int height, std::uint32_t background,
                     const std::function<void(Canvas&)>& draw) {
    EnsureGuiApplication();
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QtCanvas::ToQColor(background));
    {
        QtCanvas canvas(image);
        draw(canvas);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return false;
    return platform::ReplaceFileWith(path, std::string_view(png.constData(), static_cast<std::size_t>(png.size())));
}

}  // namespace zandor
