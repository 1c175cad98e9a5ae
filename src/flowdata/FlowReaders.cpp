#include "flowdata/FlowReaders.h"
#include "flowdata/LowerCase.h"

#include "diagnostics/Exception.h"
#include "flowdata/BinaryFile.h"
#include "flowdata/GridFileReader.h"
#include "flowdata/NetCdfReader.h"
#include "flowdata/Plot3dReader.h"
#include "flowdata/VtkLegacyReader.h"
#include "flowdata/VtkXmlReader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>

namespace {

using Recognises = bool (*)(const std::string& path, const char* head, std::size_t headBytes);
using Opener = std::function<std::unique_ptr<FlowReader>(const std::string& path, const FlowReaderOptions& options,
                                                         const GridHeader& earlier)>;

struct Entry {
    FlowReaders::Format format;
    Recognises recognises;
    Opener open;
};

template <class Reader> Entry entry(const char* name, std::vector<std::string> extensions)
{
    return {{name, std::move(extensions)},
            &Reader::recognises,
            [](const std::string& path, const FlowReaderOptions& options, const GridHeader&) {
                return std::make_unique<Reader>(path, options);
            }};
}

// Every reader, one line each, content checks tried in this order:
//     entry<XxxReader>("Xxx", {".ext", ".other"}),
const std::vector<Entry>& entries()
{
    static const std::vector<Entry> list = {
        {{"Flow Grid File", {".gri"}},
         &GridFileReader::recognises,
         [](const std::string& path, const FlowReaderOptions& options, const GridHeader& earlier) {
             return std::make_unique<GridFileReader>(path, options, earlier);
         }},
        entry<Plot3dReader>("PLOT3D", {".xyz", ".x", ".g", ".grd", ".q", ".f", ".p3d"}),
        entry<VtkXmlReader>("VTK", {".vts", ".vtr", ".vti", ".pvd"}),
        entry<VtkLegacyReader>("VTK", {".vtk"}),
        entry<NetCdfReader>("NetCDF", {".nc", ".nc4", ".cdf"}),
    };
    return list;
}

} // namespace

std::vector<FlowReaders::Format> FlowReaders::formats()
{
    std::vector<Format> list;
    for (const Entry& e : entries()) {
        list.push_back(e.format);
    }
    return list;
}

std::unique_ptr<FlowReader> FlowReaders::open(const std::string& path, const FlowReaderOptions& options,
                                              const GridHeader& earlier)
{
    BinaryFile file;
    if (!file.open(path)) {
        TOOL_THROW("FlowReaders::open()", "Couldn't open " + path + ": " + std::strerror(errno));
    }
    char head[headBytes];
    const std::size_t bytes = file.read(head, sizeof head);
    file.close();
    return open(path, head, bytes, options, earlier);
}

std::unique_ptr<FlowReader> FlowReaders::open(const std::string& path, const char* head, std::size_t bytes,
                                              const FlowReaderOptions& options, const GridHeader& earlier)
{
    for (const Entry& e : entries()) {
        if (e.recognises(path, head, bytes)) {
            return e.open(path, options, earlier);
        }
    }
    const std::string extension = lowerExtension(path);
    for (const Entry& e : entries()) {
        const std::vector<std::string>& known = e.format.extensions;
        if (!extension.empty() && std::find(known.begin(), known.end(), extension) != known.end()) {
            return e.open(path, options, earlier);
        }
    }
    TOOL_THROW("FlowReaders::open()", "Couldn't open " + path + ": no reader knows this kind of file");
}
