#pragma once

#include <QString>

class COpenGLControl;

// Draws the view once and writes the picture to a PNG file. False (after a
// log line) when there is no picture or the file cannot be written.
bool writeSnapshot(COpenGLControl& control, const QString& path);
