#include "ui/Snapshot.h"

#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "transfer/AtomicFile.h"

#include <QFile>
#include <QImage>

bool writeSnapshot(const std::vector<unsigned char>& rgba, int width, int height, const QString& path)
{
    const std::string file = QFile::encodeName(path).toStdString();
    if (width < 1 || height < 1 || rgba.size() < static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
        Tool::log("writeSnapshot()", "Writing snapshot .. [FAILED]", "No picture to write: " + file);
        return false;
    }
    const QImage image(rgba.data(), width, height, width * 4, QImage::Format_RGBA8888);
    try {
        AtomicFile picture(file);
        // Without an alpha channel: the view itself is opaque.
        if (!image.convertToFormat(QImage::Format_RGB888)
                 .save(QFile::decodeName(picture.temporaryPath().c_str()), "PNG")) {
            TOOL_THROW("writeSnapshot()", "cannot write " + picture.temporaryPath());
        }
        picture.commit();
    } catch (const Tool::Exception& e) {
        Tool::log("writeSnapshot()", "Writing snapshot .. [FAILED]", "Cannot write " + file + ": " + e.text);
        return false;
    }
    Tool::log("writeSnapshot()", "Writing snapshot .. [OK]", file);
    return true;
}
