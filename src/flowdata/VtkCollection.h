#pragma once

#include <string>
#include <vector>

// A .pvd file: data set files by time step. Several parts at one time step
// are pieces of one frame.
class VtkCollection {
public:
    struct Step {
        double time = 0.0;
        std::vector<std::string> files; // full paths, in the order listed
    };

    // Reads the collection; throws Tool::Exception naming the file when it
    // cannot be read or lists no data set.
    explicit VtkCollection(const std::string& path);

    // Ascending by time; steps of equal time merged.
    std::vector<Step> steps;
};
