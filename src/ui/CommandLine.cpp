#include "ui/CommandLine.h"

#include "export/FileNamePattern.h"

#include <QFile>

namespace {
bool readIndex(const QString& text, uint32_t& value)
{
    bool ok = false;
    const qulonglong parsed = text.toULongLong(&ok, 10);
    if (!ok || parsed > UINT32_MAX || text.startsWith('+')) {
        return false;
    }
    value = static_cast<uint32_t>(parsed);
    return true;
}

// A comma-separated list of axes, wireframe, glyphs, streamlines and layer.
bool readToggles(const QString& text, CommandLine::Toggles& toggles)
{
    toggles = CommandLine::Toggles();
    for (const QString& name : text.split(',')) {
        bool* flag = name == "axes"          ? &toggles.axes
                     : name == "wireframe"   ? &toggles.wireframe
                     : name == "glyphs"      ? &toggles.glyphs
                     : name == "streamlines" ? &toggles.streamlines
                     : name == "layer"       ? &toggles.layer
                                             : nullptr;
        if (!flag) {
            return false;
        }
        *flag = true;
    }
    return true;
}

// Combinations that single options cannot show wrong; returns the reason.
QString checkTogether(const CommandLine& out)
{
    const ExportOptions& e = out.exporting;
    if (e.hasFrames && out.hasFrame) {
        return "--frame and --frames cannot be given together";
    }
    if (!e.movie.isEmpty() && !out.snapshot.isEmpty()) {
        return "--movie and --snapshot cannot be given together";
    }
    if (e.fit && e.hasZoom) {
        return "--fit chooses the zoom itself; leave out --zoom";
    }
    // Without --frames a snapshot's field takes the frame shown.
    if (out.snapshot.isEmpty()) {
        return {};
    }
    FileNamePattern pattern;
    std::string reason;
    if (!pattern.parse(QFile::encodeName(out.snapshot).toStdString(), reason)) {
        return "--snapshot: " + QString::fromStdString(reason);
    }
    if (!pattern.hasField() && e.hasFrames && e.last - e.first >= e.step) {
        return "--snapshot needs an integer field such as %04d for a range of frames, not \"" + out.snapshot + "\"";
    }
    return {};
}
} // namespace

bool CommandLine::parse(const QStringList& args, CommandLine& out, QString& error)
{
    out = CommandLine();
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == "--snapshot" || arg == "--frame" || arg == "--layer" || arg == "--show") {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            const QString& value = args[++i];
            if (arg == "--snapshot") {
                if (value.isEmpty()) {
                    error = "--snapshot needs a file name";
                    return false;
                }
                out.snapshot = value;
            } else if (arg == "--show") {
                out.hasShow = readToggles(value, out.show);
                if (!out.hasShow) {
                    error = "--show takes a comma-separated list of axes, wireframe, glyphs, streamlines and layer, "
                            "not \"" +
                            value + "\"";
                    return false;
                }
            } else if (arg == "--frame") {
                out.hasFrame = readIndex(value, out.frame);
                if (!out.hasFrame) {
                    error = "--frame takes a frame index, not \"" + value + "\"";
                    return false;
                }
            } else {
                out.hasLayer = readIndex(value, out.layer);
                if (!out.hasLayer) {
                    error = "--layer takes a layer index, not \"" + value + "\"";
                    return false;
                }
            }
        } else if (arg == "--fit") {
            out.exporting.fit = true;
        } else if (ExportOptions::takesValue(arg)) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            if (!out.exporting.read(arg, args[++i], error)) {
                return false;
            }
        } else if (arg.startsWith("--")) {
            error = "unknown option " + arg;
            return false;
        } else if (arg.isEmpty()) {
            error = "the grid file name is empty";
            return false;
        } else if (out.grid.isEmpty()) {
            out.grid = arg;
            out.gridArgument = i;
        } else {
            error = "more than one grid file given";
            return false;
        }
    }
    error = checkTogether(out);
    return error.isEmpty();
}

const char* CommandLine::usage()
{
    return "usage: quorvane [GRID] [--snapshot PNG] [--frame N] [--layer L] [--show LIST]\n"
           "                [--size WxH] [--rotate X,Y] [--pan X,Y] [--zoom Z] [--scale S] [--fit]\n"
           "                [--frames A:B[:STEP]] [--movie FILE.mp4|.mkv|.webm] [--fps N]";
}
