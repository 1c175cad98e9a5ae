#include "ui/ExportOptions.h"

#include "export/MovieEncoder.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace {

// The largest side is what GL allows, checked once there is a context; this
// only keeps the number itself sane.
constexpr int largestNumber = 1 << 20;

bool readFloat(const QString& text, float& value)
{
    bool ok = false;
    value = text.trimmed().toFloat(&ok);
    return ok && std::isfinite(value);
}

bool readPair(const QString& text, float& x, float& y)
{
    const QStringList parts = text.split(',');
    return parts.size() == 2 && readFloat(parts[0], x) && readFloat(parts[1], y);
}

bool readFrames(const QString& text, ExportOptions& out, QString& error)
{
    static const QRegularExpression form("^(\\d{1,10}):(\\d{1,10})(?::(\\d{1,10}))?$");
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) {
        error = "--frames takes FIRST:LAST[:STEP] with whole numbers from 0, not \"" + text + "\"";
        return false;
    }
    const qulonglong first = match.captured(1).toULongLong();
    const qulonglong last = match.captured(2).toULongLong();
    const qulonglong step = match.captured(3).isEmpty() ? 1 : match.captured(3).toULongLong();
    if (first > INT32_MAX || last > INT32_MAX || step > INT32_MAX || step == 0 || last < first) {
        error =
            "--frames " + text + ": the range must run forwards from a first to a last frame, by a step of 1 or more";
        return false;
    }
    out.first = uint32_t(first);
    out.last = uint32_t(last);
    out.step = uint32_t(step);
    out.hasFrames = true;
    return true;
}

} // namespace

bool ExportOptions::takesValue(const QString& arg)
{
    static const QStringList options = {"--size",  "--rotate", "--pan",   "--zoom",
                                        "--scale", "--frames", "--movie", "--fps"};
    return options.contains(arg);
}

bool ExportOptions::read(const QString& arg, const QString& value, QString& error)
{
    if (arg == "--size") {
        static const QRegularExpression form("^(\\d{1,7})x(\\d{1,7})$");
        const QRegularExpressionMatch match = form.match(value);
        width = match.hasMatch() ? match.captured(1).toInt() : 0;
        height = match.hasMatch() ? match.captured(2).toInt() : 0;
        if (width < 1 || height < 1 || width > largestNumber || height > largestNumber) {
            error = "--size takes WIDTHxHEIGHT in pixels, such as 1024x768, not \"" + value + "\"";
            return false;
        }
        return true;
    }
    if (arg == "--rotate" || arg == "--pan") {
        const bool ok = arg == "--rotate" ? readPair(value, rotX, rotY) : readPair(value, panX, panY);
        (arg == "--rotate" ? hasRotate : hasPan) = ok;
        if (!ok) {
            error = arg + " takes two numbers X,Y, not \"" + value + "\"";
        }
        return ok;
    }
    if (arg == "--zoom") {
        // The wheel never takes the distance factor below 0.1.
        hasZoom = readFloat(value, zoom) && zoom >= 0.1f;
        if (!hasZoom) {
            error = "--zoom takes a number of 0.1 or more, not \"" + value + "\"";
        }
        return hasZoom;
    }
    if (arg == "--scale") {
        hasScale = readFloat(value, scale) && scale > 0;
        if (!hasScale) {
            error = "--scale takes a number above 0, not \"" + value + "\"";
        }
        return hasScale;
    }
    if (arg == "--frames") {
        return readFrames(value, *this, error);
    }
    if (arg == "--movie") {
        movie = value;
        if (!MovieEncoder::knownExtension(QFile::encodeName(value).toStdString())) {
            error = "--movie takes a file name ending in .mp4, .mkv or .webm, not \"" + value + "\"";
            return false;
        }
        return true;
    }
    if (arg == "--fps") {
        bool ok = false;
        fps = value.toDouble(&ok);
        if (!ok || !(fps >= 1 && fps <= 120)) {
            error = "--fps takes a number of frames per second from 1 to 120, not \"" + value + "\"";
            return false;
        }
        return true;
    }
    error = "unknown option " + arg;
    return false;
}
