#pragma once

#include <string>

// Names and attribute texts compared without regard to case.
std::string lowerCase(std::string text);

// The path's extension with its dot, in lower case; empty when the file name has none.
std::string lowerExtension(const std::string& path);
