// flowgen: writes an analytic demo or test data set.
//   flowgen DIR/NAME --size XxYxZ --layers L --frames F --timestep T [--curved]
//   flowgen -h | --help

#include "FlowGenerator.h"
#include "FlowWriter.h"

#include <boost/filesystem.hpp>

#include <charconv>
#include <cmath>
#include <cstring>
#include <iostream>
#include <limits>
#include <new>
#include <string>

namespace {

const char* const usage = "usage: flowgen DIR/NAME --size XxYxZ --layers L --frames F --timestep T [--curved]\n"
                          "       flowgen -h | --help\n"
                          "Writes DIR/NAME.gri and its frame files. --frames F is the header's frame count:\n"
                          "F > 1 writes F+1 frame files, 0 or 1 writes that many.\n";

template <typename T> bool parseNumber(const std::string& text, T& value)
{
    const char* end = text.data() + text.size();
    const std::from_chars_result result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

bool parseSize(const std::string& text, std::array<uint32_t, 3>& size)
{
    const std::size_t first = text.find('x');
    const std::size_t second = first == std::string::npos ? first : text.find('x', first + 1);
    if (second == std::string::npos) {
        return false;
    }
    if (!parseNumber(text.substr(0, first), size[0]) ||
        !parseNumber(text.substr(first + 1, second - first - 1), size[1]) ||
        !parseNumber(text.substr(second + 1), size[2]) || size[0] == 0 || size[1] == 0 || size[2] == 0) {
        return false;
    }
    // The loader counts nodes in 32 bits; more would also overflow the generator's count.
    const uint64_t limit = std::numeric_limits<uint32_t>::max();
    return uint64_t(size[0]) * size[1] <= limit && uint64_t(size[0]) * size[1] * size[2] <= limit;
}

bool parseArguments(int argc, char** argv, std::string& base, FlowGenerator::Settings& settings, std::string& error)
{
    bool haveSize = false;
    for (int a = 1; a < argc; ++a) {
        const std::string option = argv[a];
        if (option == "--curved") {
            settings.curved = true;
            continue;
        }
        if (option.rfind("--", 0) != 0) {
            if (!base.empty()) {
                error = "more than one output path";
                return false;
            }
            base = option;
            continue;
        }
        if (a + 1 >= argc) {
            error = option + " needs a value";
            return false;
        }
        const std::string value = argv[++a];
        bool ok = false;
        if (option == "--size") {
            ok = haveSize = parseSize(value, settings.size);
        } else if (option == "--layers") {
            ok = parseNumber(value, settings.layers) && settings.layers >= 0;
        } else if (option == "--frames") {
            ok = parseNumber(value, settings.frames) && settings.frames >= 0 && settings.frames < 1000000;
        } else if (option == "--timestep") {
            ok = parseNumber(value, settings.timestep) && std::isfinite(settings.timestep) && settings.timestep > 0;
        } else {
            error = "unknown option " + option;
            return false;
        }
        if (!ok) {
            error = "bad value for " + option + ": " + value;
            return false;
        }
    }
    if (base.empty() || !haveSize) {
        error = base.empty() ? "no output path" : "no --size";
        return false;
    }
    const std::string name = boost::filesystem::path(base).filename().string();
    if (name.empty() || name == "." || name == "..") {
        error = "no data set name in " + base;
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::string base;
    FlowGenerator::Settings settings;
    std::string error;
    for (int a = 1; a < argc; ++a) {
        if (std::strcmp(argv[a], "-h") == 0 || std::strcmp(argv[a], "--help") == 0) {
            std::cout << usage;
            return 0;
        }
    }
    if (!parseArguments(argc, argv, base, settings, error)) {
        std::cerr << "flowgen: " << error << "\n" << usage;
        return 2;
    }
    const boost::filesystem::path folder = boost::filesystem::path(base).parent_path();
    boost::system::error_code folderError;
    if (!folder.empty()) {
        boost::filesystem::create_directories(folder, folderError);
    }
    if (folderError) {
        std::cerr << "flowgen: cannot create " << folder.string() << ": " << folderError.message() << "\n";
        return 1;
    }

    const FlowGenerator generator(settings);
    try {
        if (!FlowWriter::write(base, generator, error)) {
            std::cerr << "flowgen: " << error << "\n";
            return 1;
        }
    } catch (const std::bad_alloc&) {
        // Sizes or layer counts far beyond any real data set.
        std::cerr << "flowgen: not enough memory for " << FlowWriter::dataSetBytes(generator) << " bytes of data\n";
        return 1;
    }
    std::cout << "flowgen: wrote " << base << ".gri and " << generator.frameFileCount() << " frame files ("
              << FlowWriter::dataSetBytes(generator) << " bytes)\n";
    return 0;
}
