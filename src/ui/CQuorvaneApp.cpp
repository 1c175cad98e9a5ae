#include "ui/CQuorvaneApp.h"

#include "diagnostics/Exception.h"
#include "diagnostics/FileLogListener.h"
#include "diagnostics/LogListener.h"
#include "diagnostics/Logger.h"
#include "diagnostics/ThreadStart.h"
#include "ui/CQuorvaneDlg.h"
#include "ui/CTransferDialog.h"
#include "ui/CommandLine.h"
#include "ui/CommandLineExport.h"
#include "ui/PlayerDialog.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QMenuBar>
#include <QWindow>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace {
// The listeners stay registered until the process ends.
void startLogging()
{
    // A console closed by its reader (quorvane ... | head -1) must not end
    // the run: the write fails and the run goes on.
    std::signal(SIGPIPE, SIG_IGN);
    Tool::Logger& logger = Tool::Logger::instance();
    logger.addListener(new Tool::LogListener(), true);
    auto* file = new Tool::FileLogListener("Quorvane.log");
    if (file->failure.empty()) {
        logger.addListener(file, true);
    }
    logger.enabled = true;
    Tool::log("CQuorvaneApp", "Starting Quorvane v.0.5 ..");
    if (!file->failure.empty()) {
        Tool::log("CQuorvaneApp", "Opening log file \"" + file->fileName + "\" .. [FAILED]",
                  file->failure + "; logging to the console only");
        delete file;
    }
}

void logFailure(const Tool::Exception& e)
{
    Tool::Logger::instance().log(e.toMessage());
}

// Lets the window system map the dialog before it is drawn into.
void waitUntilShown(QWidget& window)
{
    window.show();
    QElapsedTimer waited;
    waited.start();
    while (!(window.windowHandle() && window.windowHandle()->isExposed()) && waited.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QCoreApplication::processEvents();
}

// Sets the view's toggles as the View menu would, check marks included; the
// layer view, which the editor turns on, has no menu item.
void applyToggles(CQuorvaneDlg& dialog, const CommandLine::Toggles& show)
{
    const std::pair<const char*, bool> items[] = {
        {"32776", show.axes}, {"32782", show.wireframe}, {"32784", show.glyphs}, {"32785", show.streamlines}};
    for (const auto& [id, on] : items) {
        QAction* item = dialog.menu->findChild<QAction*>(id);
        if (item && item->isChecked() != on) {
            item->trigger();
        }
    }
    dialog.glControl.showLayer = show.layer;
}
} // namespace

CQuorvaneApp::CQuorvaneApp(int& argc, char** argv) : QApplication(argc, argv)
{
    startLogging();
    // Message boxes carry the application's title as their caption. The
    // name, unlike a display name, is not appended to every window title.
    setApplicationName("Quorvane");
    // argc and argv now hold what Qt left, as arguments() does.
    rawArguments.assign(argv, argv + argc);
}

int CQuorvaneApp::InitInstance()
{
    CommandLine options;
    QString error;
    if (!CommandLine::parse(arguments(), options, error)) {
        std::cerr << error.toStdString() << '\n' << CommandLine::usage() << std::endl;
        return 2;
    }

    CQuorvaneDlg dialog;
    try {
        dialog.OnInitDialog();
    } catch (const Tool::Exception& e) {
        logFailure(e);
        return 1;
    }
    if (arguments().size() < 2) {
        dialog.exec();
        return 0;
    }
    const bool done = runCommandLine(dialog, options);
    if (options.snapshot.isEmpty() && options.exporting.movie.isEmpty()) {
        // On screen a failure was logged and the user carries on.
        CommandLineExport::setCamera(dialog.glControl, options.exporting);
        dialog.exec();
        return 0;
    }
    return done ? CommandLineExport::run(dialog, options) : 2;
}

bool CQuorvaneApp::runCommandLine(CQuorvaneDlg& dialog, const CommandLine& options)
{
    waitUntilShown(dialog);
    // The file dialog hands over a full path; so does the command line. It
    // is made from the argument's own bytes: a name that is not valid in the
    // locale's encoding does not come back from a QString.
    if (!options.grid.isEmpty()) {
        const std::string given = options.gridArgument < static_cast<int>(rawArguments.size())
                                      ? rawArguments[options.gridArgument]
                                      : QFile::encodeName(options.grid).toStdString();
        std::error_code error;
        const std::filesystem::path full = std::filesystem::absolute(given, error).lexically_normal();
        if (!dialog.loadFile(error ? given : full.string())) {
            return false;
        }
        // A header may promise no frame at all; there is nothing to show.
        if (dialog.flowData.frames.empty()) {
            Tool::log("CQuorvaneApp", "Choosing frame .. [FAILED]", given + ": the data set holds no frame");
            return false;
        }
    }
    const size_t frames = dialog.flowData.frames.size();
    if (options.hasFrame) {
        if (options.frame >= frames) {
            Tool::log("CQuorvaneApp", "Choosing frame .. [FAILED]",
                      "Frame " + std::to_string(options.frame) + " of " + std::to_string(frames));
            return false;
        }
        dialog.glControl.currentFrame = options.frame;
        dialog.playerDialog->updateDisplay(&dialog.flowData);
    }
    if (options.hasLayer) {
        const size_t layers = dialog.transferDialog->layerFunctions().size();
        // Entry 0 of the editor's layer list is the plain data.
        if (options.layer >= layers || !dialog.transferDialog->chooseLayer(static_cast<int>(options.layer) + 1)) {
            Tool::log("CQuorvaneApp", "Choosing layer .. [FAILED]",
                      "Layer " + std::to_string(options.layer) + " of " + std::to_string(layers));
            return false;
        }
    }
    if (options.hasShow) {
        applyToggles(dialog, options.show);
    }
    dialog.glControl.Invalidate();
    return true;
}

bool CQuorvaneApp::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const Tool::Exception& e) {
        logFailure(e);
        std::exit(1);
    } catch (const std::exception& e) {
        logFailure(Tool::Exception("CQuorvaneApp::notify()", Tool::reasonOf(e), __FILE__, __LINE__));
        std::exit(1);
    }
}
