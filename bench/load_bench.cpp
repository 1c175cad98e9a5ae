// load_bench: loads a generated data set of about 450 MB three times with
// FlowData::load and compares it with the floor, reading the same files once
// through one reused buffer, measured in the same run. Also reports the peak
// resident memory of the loads, and the histogram of a layer against one
// plain pass over its values.
//   load_bench [FOLDER]   (default: load_bench_data; the files written are
//   removed afterwards, and the folder too when that leaves it empty)

#include "FlowGenerator.h"
#include "FlowWriter.h"
#include "diagnostics/Exception.h"
#include "flowdata/FlowData.h"
#include "support/NoProgress.h"

#include <boost/filesystem.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = boost::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The floor: every file read once, like cat, through one reused buffer.
double plainRead(const std::vector<std::string>& files, uint64_t& bytes)
{
    const Clock::time_point start = Clock::now();
    static std::vector<char> buffer(std::size_t(1) << 20);
    bytes = 0;
    for (const std::string& path : files) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::cerr << "load_bench: cannot read " << path << "\n";
            std::exit(1);
        }
        ssize_t got = 0;
        while ((got = ::read(fd, buffer.data(), buffer.size())) > 0) {
            bytes += static_cast<uint64_t>(got);
        }
        ::close(fd);
    }
    return secondsSince(start);
}

// Peak resident memory in bytes, from /proc/self/status.
uint64_t peakResident()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            uint64_t kilobytes = 0;
            status >> kilobytes;
            return kilobytes * 1024;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

// Restarts the peak count so it covers only what follows.
bool resetPeakResident()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

double plainPass(const FlowData& data, double& sum)
{
    const Clock::time_point start = Clock::now();
    sum = 0.0;
    for (std::size_t f = 0; f < data.frames.size(); ++f) {
        for (float v : data.frame(f)->layers[0].values) {
            sum += v;
        }
    }
    return secondsSince(start);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : "load_bench_data";
    FlowGenerator::Settings settings;
    settings.size = {{128, 128, 64}};
    settings.layers = 2;
    settings.frames = 20;
    settings.timestep = 0.05f;
    const FlowGenerator generator(settings);
    const std::string base = (fs::path(folder) / "bench").string();

    std::cout << "generating " << FlowWriter::dataSetBytes(generator) / 1e6 << " MB in " << folder << " .."
              << std::endl;
    fs::create_directories(folder);
    std::string error;
    if (!FlowWriter::write(base, generator, error)) {
        std::cerr << "load_bench: " << error << "\n";
        return 1;
    }
    std::vector<std::string> files = {base + ".gri"};
    for (int32_t f = 0; f < generator.frameFileCount(); ++f) {
        files.push_back(FlowWriter::frameFileName(base, f, generator.frameFileCount()));
    }
    // Only what this run wrote: the folder may be one the caller keeps other files in.
    const auto removeWritten = [&] {
        boost::system::error_code ignored;
        for (const std::string& path : files) {
            fs::remove(path, ignored);
        }
        fs::remove(folder, ignored);
    };

    // Warm the page cache once so neither side pays for the disk.
    uint64_t dataBytes = 0;
    plainRead(files, dataBytes);

    const bool peakReset = resetPeakResident();
    const uint64_t peakBefore = peakResident();
    double bestFloor = 1e30;
    double bestLoad = 1e30;
    uint64_t loadPeak = 0;
    double bestHistogram = 1e30;
    double bestPass = 1e30;
    for (int run = 1; run <= 3; ++run) {
        uint64_t bytes = 0;
        const double floor = plainRead(files, bytes);
        bestFloor = std::min(bestFloor, floor);

        resetPeakResident();
        FlowData data;
        NoProgress progress;
        const Clock::time_point start = Clock::now();
        try {
            data.load(base + ".gri", progress);
        } catch (const Tool::Exception& e) {
            std::cerr << "load_bench: " << e.text << "\n";
            removeWritten();
            return 1;
        }
        const double load = secondsSince(start);
        bestLoad = std::min(bestLoad, load);
        loadPeak = std::max(loadPeak, peakResident());
        std::printf("run %d: floor %.0f MB/s, load %.0f MB/s (%zu frames)\n", run, bytes / floor / 1e6,
                    dataBytes / load / 1e6, data.frames.size());

        double sum = 0.0;
        for (int repeat = 0; repeat < 3; ++repeat) {
            bestPass = std::min(bestPass, plainPass(data, sum));
            const Clock::time_point histogramStart = Clock::now();
            const std::vector<float> histogram = data.computeHistogram(0, 256);
            bestHistogram = std::min(bestHistogram, secondsSince(histogramStart));
            if (histogram.size() != 257 || sum < 0.0) {
                std::cerr << "load_bench: bad histogram\n";
                removeWritten();
                return 1;
            }
        }
    }
    if (!peakReset) {
        loadPeak = std::max(loadPeak, peakBefore);
    }

    removeWritten();
    const double floorRate = dataBytes / bestFloor / 1e6;
    const double loadRate = dataBytes / bestLoad / 1e6;
    std::printf("data set: %.1f MB in %zu files\n", dataBytes / 1e6, files.size());
    std::printf("floor (files read once through one buffer): %.0f MB/s, FlowData::load: %.0f MB/s (best of 3)\n",
                floorRate, loadRate);
    std::printf("peak resident while loading: %.1f MB%s\n", loadPeak / 1e6,
                peakReset ? "" : " (whole run: the peak could not be reset)");
    std::printf("histogram of layer 0 (256 bins): %.1f ms, plain pass: %.1f ms (best of 9)\n", bestHistogram * 1e3,
                bestPass * 1e3);
    std::printf("load_ratio=%.3f rss_mb=%.1f hist_ratio=%.3f\n", loadRate / floorRate, loadPeak / 1e6,
                bestHistogram / bestPass);
    return 0;
}
