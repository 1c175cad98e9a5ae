#pragma once

#include <string>
#include <vector>

// Finds a PLOT3D data set's files beside the one the user opened.
class Plot3dFiles {
public:
    // The extension, lower case, from the last '.' of the file name.
    static std::string extension(const std::string& path);
    static bool isGrid(const std::string& path);

    // The grid file of a solution or function file: the grid in its folder
    // whose stem is the longest start of that file's name.
    static std::string gridOf(const std::string& solutionPath);

    // The solution files of a grid file: the .q files of its folder whose
    // names begin with its stem or, when none does, every .q file there; in
    // natural order.
    static std::vector<std::string> solutionsOf(const std::string& gridPath);
};
