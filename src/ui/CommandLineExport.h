#pragma once

class COpenGLControl;
class CQuorvaneDlg;
struct CommandLine;
struct ExportOptions;

// The command line's camera, picture and movie options, applied to the main
// dialog's view once its data set is loaded.
class CommandLineExport {
public:
    // Sets the camera fields the options name; --fit last, for a picture of
    // the given aspect (width / height), by default the window's.
    static void setCamera(COpenGLControl& view, const ExportOptions& options, float aspect = 0);
    // Writes the pictures or the movie asked for and returns the exit status:
    // 0, or 2 for a size that cannot be drawn, a frame range beyond the data
    // or a failed export (after a log line).
    static int run(CQuorvaneDlg& dialog, const CommandLine& options);
};
