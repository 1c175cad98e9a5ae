#include "ui/CommandLineExport.h"

#include "diagnostics/Logger.h"
#include "render/COpenGLControl.h"
#include "render/CameraFit.h"
#include "render/GLSurface.h"
#include "render/OffscreenTarget.h"
#include "ui/CQuorvaneDlg.h"
#include "ui/CommandLine.h"
#include "ui/FrameExporter.h"

#include <algorithm>
#include <string>

namespace {
// Room left around a fitted data set, as a share of half the picture.
constexpr float fitMargin = 0.05f;
} // namespace

void CommandLineExport::setCamera(COpenGLControl& view, const ExportOptions& options, float aspect)
{
    if (options.hasRotate) {
        view.rotX = options.rotX;
        view.rotY = options.rotY;
    }
    if (options.hasPan) {
        view.panX = options.panX;
        view.panY = options.panY;
    }
    if (options.hasZoom) {
        view.zoom = options.zoom;
    }
    if (options.hasScale) {
        view.scale = options.scale;
    }
    if (options.fit) {
        if (!(aspect > 0)) {
            aspect = float(view.window()->pixelWidth()) / float(std::max(1, view.window()->pixelHeight()));
        }
        const float zoom = fitZoom(view, aspect, fitMargin);
        if (zoom > 0) {
            view.zoom = zoom;
        }
    }
    view.Invalidate();
}

int CommandLineExport::run(CQuorvaneDlg& dialog, const CommandLine& options)
{
    const ExportOptions& e = options.exporting;
    COpenGLControl& view = dialog.glControl;
    ExportJob job;
    job.width = e.width ? e.width : view.window()->pixelWidth();
    job.height = e.height ? e.height : view.window()->pixelHeight();
    if (!e.movie.isEmpty() && !e.width) {
        // 4:2:0 chroma needs an even size; the window's may be odd.
        job.width &= ~1;
        job.height &= ~1;
    }
    const int largest = OffscreenTarget::largestSide();
    if (job.width > largest || job.height > largest) {
        Tool::log("CQuorvaneApp", "Choosing picture size .. [FAILED]",
                  std::to_string(job.width) + "x" + std::to_string(job.height) + ": OpenGL draws at most " +
                      std::to_string(largest) + " pixels a side");
        return 2;
    }

    const size_t frames = dialog.flowData.frames.size();
    if (e.hasFrames) {
        job.first = e.first;
        job.last = e.last;
        job.step = e.step;
    } else if (!e.movie.isEmpty()) {
        job.last = frames ? uint32_t(frames - 1) : 0;
    } else {
        job.first = job.last = view.currentFrame;
    }
    if ((e.hasFrames || !e.movie.isEmpty()) && job.last >= frames) {
        Tool::log("CQuorvaneApp", "Choosing frame .. [FAILED]",
                  "Frames " + std::to_string(job.first) + ":" + std::to_string(job.last) + " of " +
                      std::to_string(frames));
        return 2;
    }
    job.pictures = options.snapshot;
    job.numbered = true; // a snapshot's name may number it with the frame
    job.movie = e.movie;
    job.fps = e.fps > 0 ? e.fps : FrameExporter::pace(dialog.flowData.timestep);
    setCamera(view, e, float(job.width) / float(job.height));
    return FrameExporter::run(view, job) ? 0 : 2;
}
