#include "flowdata/VtkCollection.h"

#include "diagnostics/Exception.h"

#include <algorithm>
#include <boost/filesystem/path.hpp>
#include <cmath>
#include <cstdlib>
#include <pugixml.hpp>

namespace {
const char* const source = "VtkCollection::VtkCollection()";
} // namespace

VtkCollection::VtkCollection(const std::string& path)
{
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_file(path.c_str());
    if (!parsed) {
        TOOL_THROW(source, path + ": couldn't read the collection (" + parsed.description() + ")");
    }
    const pugi::xml_node collection = document.child("VTKFile").child("Collection");
    if (std::string(document.child("VTKFile").attribute("type").value()) != "Collection" || !collection) {
        TOOL_THROW(source, path + ": is not a VTK collection");
    }
    const boost::filesystem::path folder = boost::filesystem::path(path).parent_path();
    for (pugi::xml_node entry : collection.children("DataSet")) {
        const char* text = entry.attribute("timestep").value();
        char* end = nullptr;
        const double time = std::strtod(text, &end);
        const std::string file = entry.attribute("file").value();
        if (file.empty() || (*text != '\0' && end == text) || !std::isfinite(time)) {
            TOOL_THROW(source, path + ": has a DataSet without a file or with an invalid timestep");
        }
        const boost::filesystem::path full = boost::filesystem::path(file).is_absolute() ? file : folder / file;
        auto step = std::find_if(steps.begin(), steps.end(), [time](const Step& s) { return s.time == time; });
        if (step == steps.end()) {
            steps.push_back(Step{time, {}});
            step = steps.end() - 1;
        }
        step->files.push_back(full.string());
    }
    if (steps.empty()) {
        TOOL_THROW(source, path + ": lists no data set");
    }
    std::stable_sort(steps.begin(), steps.end(), [](const Step& a, const Step& b) { return a.time < b.time; });
}
