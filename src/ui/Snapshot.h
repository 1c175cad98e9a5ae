#pragma once

#include <QString>

#include <vector>

// Writes a picture (RGBA8, top row first) to a PNG file. The file gets its
// name only once it is whole: a failure leaves no file, or the old one, under
// that name. False after a log line when it cannot be written.
bool writeSnapshot(const std::vector<unsigned char>& rgba, int width, int height, const QString& path);
