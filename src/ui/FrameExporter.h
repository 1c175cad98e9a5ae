#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class COpenGLControl;

// What to draw and where: frames first, first + step, .. up to last, as
// pictures named by a pattern or as one movie, at width x height pixels.
struct ExportJob {
    int width = 0, height = 0;
    uint32_t first = 0, last = 0, step = 1;
    QString pictures;      // a PNG file name; with numbered, a FileNamePattern
    bool numbered = false; // pictures only: a movie's name is never a pattern
    QString movie;         // a movie file, instead of pictures
    double fps = 25;
};

// The export behind the command line and File > Export Movie..: draws each
// frame of the job off-screen from the control's current view and writes it.
// Drawing the next frame overlaps encoding the last.
class FrameExporter {
public:
    // Told (done, total) before each frame and once at the end; returning
    // false cancels the export.
    using Progress = std::function<bool(int done, int total)>;

    // True when every picture or the whole movie was written. Otherwise
    // false after a log line; a movie that was not finished leaves no file.
    static bool run(COpenGLControl& control, const ExportJob& job, const Progress& progress = {});

    // The data's own pace, one frame per time step, within 1 .. 120 frames
    // per second.
    static double pace(float timestep);
};
