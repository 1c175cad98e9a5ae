#include "ui/Snapshot.h"

#include "diagnostics/Logger.h"
#include "render/COpenGLControl.h"

#include <QFile>
#include <QImage>

#include <vector>

bool writeSnapshot(COpenGLControl& control, const QString& path)
{
    const std::string file = QFile::encodeName(path).toStdString();
    std::vector<unsigned char> rgba;
    int width = 0;
    int height = 0;
    if (!control.renderPixels(rgba, width, height) || width < 1 || height < 1 ||
        rgba.size() < static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
        Tool::log("writeSnapshot()", "Writing snapshot .. [FAILED]", "No picture to write: " + file);
        return false;
    }
    const QImage image(rgba.data(), width, height, width * 4, QImage::Format_RGBA8888);
    // Without an alpha channel: the view itself is opaque.
    if (!image.convertToFormat(QImage::Format_RGB888).save(path, "PNG")) {
        Tool::log("writeSnapshot()", "Writing snapshot .. [FAILED]", "Cannot write " + file);
        return false;
    }
    Tool::log("writeSnapshot()", "Writing snapshot .. [OK]", file);
    return true;
}
