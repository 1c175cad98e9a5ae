#include "ui/MovieExport.h"

#include "diagnostics/Logger.h"
#include "render/GLSurface.h"
#include "ui/CQuorvaneDlg.h"
#include "ui/FrameExporter.h"

#include <QProgressDialog>

bool exportMovie(CQuorvaneDlg& dialog, const QString& path)
{
    const size_t frames = dialog.flowData.frames.size();
    const GLSurface* window = dialog.glControl.window();
    if (frames == 0 || !window) {
        Tool::log("CQuorvaneDlg::OnFileExportMovie()", "Writing movie .. [FAILED]", "No data set is loaded");
        return false;
    }
    ExportJob job;
    // 4:2:0 chroma needs an even size.
    job.width = window->pixelWidth() & ~1;
    job.height = window->pixelHeight() & ~1;
    job.last = uint32_t(frames - 1);
    job.movie = path;
    job.fps = FrameExporter::pace(dialog.flowData.timestep);

    QProgressDialog progress("Exporting movie ..", "Cancel", 0, int(frames), &dialog);
    progress.setWindowTitle("Quorvane");
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    return FrameExporter::run(dialog.glControl, job, [&progress](int done, int) {
        progress.setValue(done); // a modal progress dialog handles its events here
        return !progress.wasCanceled();
    });
}
