#pragma once

#include <QString>

#include <cstdint>

// The command line's picture and movie options:
//   --size WxH  --rotate X,Y  --pan X,Y  --zoom Z  --scale S  --fit
//   --frames A:B[:STEP]  --movie FILE  --fps N
struct ExportOptions {
    int width = 0, height = 0; // 0: the window's size
    bool hasRotate = false, hasPan = false, hasZoom = false, hasScale = false, fit = false;
    float rotX = 0, rotY = 0, panX = 0, panY = 0, zoom = 1, scale = 10;
    bool hasFrames = false;
    uint32_t first = 0, last = 0, step = 1;
    QString movie;
    double fps = 0; // 0: the data's own pace

    // True when arg is one of the options above that takes a value.
    static bool takesValue(const QString& arg);
    // Reads the value of such an option. False, with a reason in error, for
    // a malformed value or one outside what the view's mouse and wheel allow.
    bool read(const QString& arg, const QString& value, QString& error);
};
