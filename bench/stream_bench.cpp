// stream_bench: a data set of about 3 GB, shown within 1 GiB of memory.
// Writes the set with the flow generator into a temporary folder (removed at
// the end) and runs "quorvane GRID --snapshot" for its first and its last
// frame inside a memory cgroup limited to 1 GiB, made below this process's
// own cgroup. The time to the first picture is set against a floor measured
// in the same run: start-up to a snapshot without a data set, plus reading
// the files once. Then, in this process under the same budget, times showing
// a frame that is not in memory against a repaint of the same frame.
// Run under Xvfb.
//   stream_bench [QUORVANE]   (default: the quorvane built with it)

#include "FlowGenerator.h"
#include "FlowWriter.h"
#include "diagnostics/Exception.h"
#include "flowdata/FlowData.h"
#include "flowdata/MemoryBudget.h"
#include "render/COpenGLControl.h"
#include "support/NoProgress.h"

#include <boost/filesystem.hpp>

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = boost::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint64_t limitBytes = uint64_t(1) << 30;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A memory cgroup of 1 GiB below this process's own (v2 first, then v1);
// empty when none can be made here.
class MemoryCgroup {
public:
    MemoryCgroup()
    {
        std::ifstream file("/proc/self/cgroup");
        std::string line;
        const std::string name = "/quorvane-stream-bench-" + std::to_string(::getpid());
        while (folder.empty() && std::getline(file, line)) {
            const std::size_t first = line.find(':'), second = line.find(':', first + 1);
            if (second == std::string::npos) {
                continue;
            }
            const std::string controllers = line.substr(first + 1, second - first - 1);
            std::string path = line.substr(second + 1);
            if (path == "/") {
                path.clear();
            }
            if (controllers.empty()) {
                tryMake("/sys/fs/cgroup" + path + name, "memory.max");
            } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
                tryMake("/sys/fs/cgroup/memory" + path + name, "memory.limit_in_bytes");
            }
        }
    }
    ~MemoryCgroup()
    {
        if (!folder.empty()) {
            ::rmdir(folder.c_str());
        }
    }
    const std::string& path() const { return folder; }

private:
    void tryMake(const std::string& candidate, const std::string& limitFile)
    {
        if (::mkdir(candidate.c_str(), 0755) != 0) {
            return;
        }
        std::ofstream limit(candidate + "/" + limitFile);
        limit << limitBytes;
        limit.flush();
        if (limit) {
            folder = candidate;
        } else {
            ::rmdir(candidate.c_str());
        }
    }
    std::string folder;
};

struct Run {
    int status = -1;
    double seconds = 0;
    double peakMb = 0;
};

// Runs the program in folder, inside cgroup when one is given.
Run run(const std::vector<std::string>& arguments, const std::string& folder, const std::string& cgroup)
{
    Run result;
    const Clock::time_point start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        if (!cgroup.empty()) {
            std::ofstream procs(cgroup + "/cgroup.procs");
            procs << ::getpid() << std::flush;
            if (!procs) {
                ::_exit(126);
            }
        }
        if (::chdir(folder.c_str()) != 0) {
            ::_exit(126);
        }
        ::close(STDOUT_FILENO);
        ::open("/dev/null", O_WRONLY);
        std::vector<char*> argv;
        for (const std::string& a : arguments) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child > 0 && ::wait4(child, &status, 0, &usage) == child) {
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.peakMb = usage.ru_maxrss * 1024 / 1e6;
    }
    result.seconds = secondsSince(start);
    return result;
}

double readOnce(const std::vector<std::string>& files)
{
    const Clock::time_point start = Clock::now();
    std::vector<char> buffer(std::size_t(1) << 20);
    for (const std::string& path : files) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        while (fd >= 0 && ::read(fd, buffer.data(), buffer.size()) > 0) {
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return secondsSince(start);
}

// Milliseconds of one picture of the current frame.
double pictureMs(COpenGLControl& control)
{
    std::vector<unsigned char> rgba;
    int w = 0, h = 0;
    const Clock::time_point start = Clock::now();
    control.renderPixels(rgba, w, h);
    return secondsSince(start) * 1e3;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string program = argc > 1 ? argv[1] : QUORVANE_APP;
    const fs::path folder = fs::temp_directory_path() / fs::unique_path("quorvane-stream-bench-%%%%-%%%%");
    fs::create_directories(folder);
    const auto removeAll = [&] {
        boost::system::error_code ignored;
        fs::remove_all(folder, ignored);
    };

    FlowGenerator::Settings settings;
    settings.size = {{256, 256, 64}};
    settings.layers = 2;
    settings.frames = 35;
    settings.timestep = 0.05f;
    const FlowGenerator generator(settings);
    const std::string base = (folder / "stream").string();
    std::cout << "generating " << FlowWriter::dataSetBytes(generator) / 1e6 << " MB in " << folder.string() << " .."
              << std::endl;
    std::string error;
    if (!FlowWriter::write(base, generator, error)) {
        std::cerr << "stream_bench: " << error << "\n";
        removeAll();
        return 1;
    }
    std::vector<std::string> files = {base + ".gri"};
    const int32_t frameFiles = generator.frameFileCount();
    for (int32_t f = 0; f < frameFiles; ++f) {
        files.push_back(FlowWriter::frameFileName(base, f, frameFiles));
    }

    const MemoryCgroup cgroup;
    if (cgroup.path().empty()) {
        std::cout << "no memory cgroup could be made here: the snapshots run without a limit" << std::endl;
    } else {
        std::cout << "snapshots run in " << cgroup.path() << ", limited to 1 GiB" << std::endl;
    }

    readOnce(files); // the same warm page cache for every run
    const std::string grid = base + ".gri";
    double floor = 1e30, first = 1e30;
    Run last;
    double peakMb = 0;
    bool ok = true;
    for (int round = 0; round < 3; ++round) {
        const Run empty = run({program, "--snapshot", "empty.png"}, folder.string(), cgroup.path());
        const double read = readOnce(files);
        const Run one = run({program, grid, "--snapshot", "first.png"}, folder.string(), cgroup.path());
        last = run({program, grid, "--snapshot", "last.png", "--frame", std::to_string(frameFiles - 1)},
                   folder.string(), cgroup.path());
        ok = ok && empty.status == 0 && one.status == 0 && last.status == 0;
        std::printf("round %d: empty snapshot %.2f s + reading %.2f s; first frame %.2f s (status %d, %.0f MB); last "
                    "frame %.2f s (status %d, %.0f MB)\n",
                    round + 1, empty.seconds, read, one.seconds, one.status, one.peakMb, last.seconds, last.status,
                    last.peakMb);
        floor = std::min(floor, empty.seconds + read);
        first = std::min(first, one.seconds);
        peakMb = std::max({peakMb, one.peakMb, last.peakMb});
    }

    // Switching in this process, under the same budget.
    MemoryBudget::setProcessLimit(limitBytes);
    QApplication app(argc, argv);
    QWidget parent;
    parent.resize(1024, 768);
    COpenGLControl control;
    control.oglCreate(QRect(0, 0, 1024, 768), &parent);
    FlowData data;
    NoProgress progress;
    try {
        data.load(grid, progress);
    } catch (const Tool::Exception& e) {
        std::cerr << "stream_bench: " << e.text << "\n";
        removeAll();
        return 1;
    }
    control.setFlowData(&data);
    std::vector<double> switches, repaints;
    for (uint32_t f = 1; f < data.frames.size(); f += 5) {
        control.currentFrame = f;
        switches.push_back(pictureMs(control));
        repaints.push_back(pictureMs(control));
    }
    std::sort(switches.begin(), switches.end());
    std::sort(repaints.begin(), repaints.end());
    const double switchMs = switches[switches.size() / 2], repaintMs = repaints[repaints.size() / 2];
    control.setFlowData(nullptr);
    data.unload();
    removeAll();

    std::printf("data set: %.0f MB in %zu files, %u frames\n", FlowWriter::dataSetBytes(generator) / 1e6, files.size(),
                frameFiles);
    std::printf("first picture %.2f s against a floor of %.2f s; peak memory %.0f MB; snapshots %s\n", first, floor,
                peakMb, ok ? "succeeded" : "FAILED");
    std::printf("frame not in memory %.1f ms against a repaint of it %.1f ms (medians)\n", switchMs, repaintMs);
    std::printf("first_picture_ratio=%.3f peak_rss_mb=%.0f switch_ms=%.1f switch_ratio=%.3f\n", first / floor, peakMb,
                switchMs, switchMs / repaintMs);
    return ok ? 0 : 1;
}
