#pragma once

#include "ui/ExportOptions.h"

#include <QString>
#include <QStringList>

#include <cstdint>

// What the program was asked to do on its command line:
//   quorvane [GRID] [--snapshot PNG] [--frame N] [--layer L] [--show LIST] and
//   the picture and movie options of ExportOptions.
// With no arguments the program only opens its window.
struct CommandLine {
    QString grid;
    int gridArgument = 0; // index of the grid in args, 0 when there is none
    QString snapshot;
    bool hasFrame = false;
    uint32_t frame = 0;
    bool hasLayer = false;
    uint32_t layer = 0;
    // --show: the view's toggles; those named are on, the others off.
    struct Toggles {
        bool axes = false, wireframe = false, glyphs = false, streamlines = false, layer = false;
    };
    bool hasShow = false;
    Toggles show;
    ExportOptions exporting;

    // args[0] is the program. False, with a reason in error, for anything
    // that is not the form above.
    static bool parse(const QStringList& args, CommandLine& out, QString& error);
    static const char* usage();
};
