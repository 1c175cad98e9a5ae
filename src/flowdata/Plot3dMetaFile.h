#pragma once

#include "flowdata/Plot3dStructure.h"

#include <optional>
#include <string>
#include <vector>

// A JSON file that names a PLOT3D data set's files, their variant and gas
// constants, time by time.
class Plot3dMetaFile {
public:
    struct Step {
        std::optional<double> time;
        std::string grid;
        std::string solution;
        std::vector<std::string> functions;
    };

    // Reads and checks the file; paths in it are made relative to its folder.
    explicit Plot3dMetaFile(const std::string& path);

    Plot3dHints hints;
    double gamma = 1.4;
    std::vector<Step> steps;
};
