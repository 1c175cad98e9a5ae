#include "ui/FrameExporter.h"

#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "diagnostics/ThreadStart.h"
#include "export/FileNamePattern.h"
#include "export/MovieWriter.h"
#include "export/PictureMemory.h"
#include "flowdata/MemoryBudget.h"
#include "render/OffscreenView.h"
#include "ui/Snapshot.h"

#include <QFile>

#include <algorithm>
#include <memory>
#include <vector>

namespace {
const char* const source = "FrameExporter::run()";
} // namespace

bool FrameExporter::run(COpenGLControl& control, const ExportJob& job, const Progress& progress)
{
    const bool toMovie = !job.movie.isEmpty();
    const std::string target = QFile::encodeName(toMovie ? job.movie : job.pictures).toStdString();
    const char* failed = toMovie ? "Writing movie .. [FAILED]" : "Writing snapshot .. [FAILED]";
    FileNamePattern pattern;
    std::string problem;
    // A movie's name is only ever a name.
    if (!toMovie && job.numbered && !pattern.parse(target, problem)) {
        Tool::log(source, failed, problem);
        return false;
    }
    // What the frame store and the textures leave of the process's memory.
    problem = PictureMemory::problem(job.width, job.height, toMovie, MemoryBudget::processLimit() / 2);
    if (!problem.empty()) {
        Tool::log(source, failed, problem);
        return false;
    }
    OffscreenView view(control, job.width, job.height);
    if (!view.ready()) {
        Tool::log(source, failed,
                  "No off-screen picture of " + std::to_string(job.width) + "x" + std::to_string(job.height));
        return false;
    }
    const int total = job.step ? int((job.last - job.first) / job.step + 1) : 0;
    std::vector<unsigned char> rgba;
    try {
        std::unique_ptr<MovieWriter> movie;
        if (toMovie) {
            movie = std::make_unique<MovieWriter>(target, job.width, job.height, job.fps);
        }
        int done = 0;
        for (uint64_t frame = job.first; frame <= job.last; frame += job.step, ++done) {
            if (progress && !progress(done, total)) {
                TOOL_THROW(source,
                           "cancelled after " + std::to_string(done) + " of " + std::to_string(total) + " frames");
            }
            view.draw(uint32_t(frame), rgba);
            if (movie) {
                movie->write(rgba);
            } else if (!writeSnapshot(rgba, job.width, job.height,
                                      job.numbered ? QFile::decodeName(pattern.name(uint32_t(frame)).c_str())
                                                   : job.pictures)) {
                return false;
            }
        }
        if (movie) {
            movie->finish();
            Tool::log(source, "Writing movie .. [OK]",
                      target + ": " + std::to_string(total) + " frames, " + movie->codecName());
        }
    } catch (const Tool::Exception& e) {
        Tool::log(source, failed, target + ": " + e.text);
        return false;
    } catch (const std::exception& e) {
        Tool::log(source, failed, target + ": " + Tool::reasonOf(e));
        return false;
    }
    if (progress) {
        progress(total, total);
    }
    return true;
}

double FrameExporter::pace(float timestep)
{
    // A data set without a time step has no pace of its own.
    if (!(timestep > 0)) {
        return 1.0;
    }
    return std::clamp(1.0 / double(timestep), 1.0, 120.0);
}
