#include "flowdata/Plot3dFiles.h"
#include "flowdata/LowerCase.h"

#include "diagnostics/Exception.h"
#include "flowdata/FrameFiles.h"

#include <algorithm>
#include <boost/filesystem.hpp>
#include <cctype>

namespace fs = boost::filesystem;

namespace {
const char* const source = "Plot3dReader::findFiles()";

// The regular files of path's folder.
std::vector<std::string> folderNames(const std::string& path)
{
    const fs::path folder = fs::path(path).parent_path().empty() ? fs::path(".") : fs::path(path).parent_path();
    boost::system::error_code error;
    std::vector<std::string> names;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        boost::system::error_code statusError;
        if (fs::is_regular_file(it->status(statusError))) {
            names.push_back(it->path().filename().string());
        }
    }
    if (error) {
        TOOL_THROW(source, "Couldn't open " + folder.string());
    }
    return names;
}

std::string stem(const std::string& path)
{
    return fs::path(path).stem().string();
}

std::string inFolderOf(const std::string& path, const std::string& name)
{
    return (fs::path(path).parent_path() / name).string();
}
} // namespace

std::string Plot3dFiles::extension(const std::string& path)
{
    return lowerCase(fs::path(path).extension().string());
}

bool Plot3dFiles::isGrid(const std::string& path)
{
    const std::string ext = extension(path);
    return ext == ".xyz" || ext == ".x" || ext == ".g" || ext == ".grd";
}

std::string Plot3dFiles::gridOf(const std::string& solutionPath)
{
    const std::string solution = fs::path(solutionPath).filename().string();
    std::string best;
    for (const std::string& name : folderNames(solutionPath)) {
        const std::string gridStem = stem(name);
        if (isGrid(name) && solution.compare(0, gridStem.size(), gridStem) == 0 &&
            (gridStem.size() > stem(best).size() || (gridStem.size() == stem(best).size() && name < best))) {
            best = name;
        }
    }
    if (best.empty()) {
        TOOL_THROW(source, "No PLOT3D grid file (.xyz .x .g .grd) beside " + solutionPath);
    }
    return inFolderOf(solutionPath, best);
}

std::vector<std::string> Plot3dFiles::solutionsOf(const std::string& gridPath)
{
    const std::string gridStem = stem(gridPath);
    std::vector<std::string> sharing;
    std::vector<std::string> all;
    for (const std::string& name : folderNames(gridPath)) {
        if (extension(name) == ".q") {
            all.push_back(name);
            if (name.compare(0, gridStem.size(), gridStem) == 0) {
                sharing.push_back(name);
            }
        }
    }
    std::vector<std::string>& names = sharing.empty() ? all : sharing;
    if (names.empty()) {
        TOOL_THROW(source, "No PLOT3D solution files (.q) beside " + gridPath);
    }
    std::sort(names.begin(), names.end(), FrameFiles::naturalLess);
    for (std::string& name : names) {
        name = inFolderOf(gridPath, name);
    }
    return names;
}
