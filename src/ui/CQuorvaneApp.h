#pragma once

#include <QApplication>

#include <string>
#include <vector>

class CQuorvaneDlg;
struct CommandLine;

// The application: starts logging as soon as it exists, then runs the main
// dialog modally; the process ends when the dialog closes.
class CQuorvaneApp : public QApplication {
    Q_OBJECT

public:
    CQuorvaneApp(int& argc, char** argv);

    // Runs the program and returns the process exit status: 0 normally,
    // 1 when start-up failed or the picture size is malformed or larger than
    // OpenGL draws, 2 for any other bad command line, or when pictures or a
    // movie were asked for and the load, the frame, the layer or the writing
    // failed.
    int InitInstance();

    // A Tool::Exception escaping an event handler cannot unwind through the
    // event loop: it is logged and the process ends with status 1.
    bool notify(QObject* receiver, QEvent* event) override;

    // Loads the grid and picks the frame and layer as the user would through
    // the load command, the player and the editor. False after logging a
    // failure.
    bool runCommandLine(CQuorvaneDlg& dialog, const CommandLine& options);

private:
    // The arguments as the system handed them over, past those Qt took.
    std::vector<std::string> rawArguments;
};
