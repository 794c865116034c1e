#include "platform/qt/PictureFile.h"

#include <QGuiApplication>
#include <QImage>
#include <cstdio>

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
    const std::string temporary = path + ".part";
    if (!image.save(QString::fromStdString(temporary), "PNG") || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace zandor
