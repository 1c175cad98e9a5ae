#pragma once

#include "flowdata/FlowReader.h"
#include "flowdata/GridHeader.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// The data formats that can be opened, and the choice among them for a file.
class FlowReaders {
public:
    struct Format {
        std::string name;                    // "PLOT3D"
        std::vector<std::string> extensions; // lower case, with the dot: ".xyz"
    };

    // Every format, in the order they are tried.
    static std::vector<Format> formats();

    // The reader for path: the first format that recognises the file's first
    // bytes, else the one whose extension the path has (in any case).
    // earlier seeds a grid file's header fields that do not parse. Throws
    // Tool::Exception when the file cannot be opened, no format takes it, or
    // the reader finds it malformed.
    static std::unique_ptr<FlowReader> open(const std::string& path, const FlowReaderOptions& options,
                                            const GridHeader& earlier = GridHeader());
    // The same for a file whose first headBytes bytes are known.
    static std::unique_ptr<FlowReader> open(const std::string& path, const char* head, std::size_t headBytes,
                                            const FlowReaderOptions& options, const GridHeader& earlier = GridHeader());

    // How many first bytes open() looks at.
    static constexpr std::size_t headBytes = 512;
};
