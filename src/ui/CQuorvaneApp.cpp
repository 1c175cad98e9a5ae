#include "ui/CQuorvaneApp.h"

#include "diagnostics/Exception.h"
#include "diagnostics/FileLogListener.h"
#include "diagnostics/LogListener.h"
#include "diagnostics/Logger.h"
#include "transfer/Transferfunction.h"
#include "ui/CQuorvaneDlg.h"
#include "ui/CommandLine.h"
#include "ui/PlayerDialog.h"
#include "ui/Snapshot.h"

#include <QElapsedTimer>
#include <QFile>
#include <QWindow>

#include <cstdlib>
#include <iostream>

namespace {
// The listeners stay registered until the process ends.
void startLogging()
{
    Tool::Logger& logger = Tool::Logger::instance();
    logger.addListener(new Tool::LogListener(), true);
    logger.addListener(new Tool::FileLogListener("Quorvane.log"), true);
    logger.enabled = true;
    Tool::log("CQuorvaneApp", "Starting Quorvane v.0.5 ..");
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
} // namespace

CQuorvaneApp::CQuorvaneApp(int& argc, char** argv) : QApplication(argc, argv)
{
    startLogging();
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
    const bool commandLine =
        !options.grid.isEmpty() || !options.snapshot.isEmpty() || options.hasFrame || options.hasLayer;
    if (commandLine) {
        const int status = runCommandLine(dialog, options);
        if (status != 0 || !options.snapshot.isEmpty()) {
            return status;
        }
    }
    dialog.exec();
    return 0;
}

int CQuorvaneApp::runCommandLine(CQuorvaneDlg& dialog, const CommandLine& options)
{
    waitUntilShown(dialog);
    if (!options.grid.isEmpty() && !dialog.loadFile(QFile::encodeName(options.grid).toStdString())) {
        return 2;
    }
    COpenGLControl& view = dialog.glControl;
    const size_t frames = dialog.flowData.frames.size();
    if (options.hasFrame) {
        if (options.frame >= frames) {
            Tool::log("CQuorvaneApp", "Choosing frame .. [FAILED]",
                      "Frame " + std::to_string(options.frame) + " of " + std::to_string(frames));
            return 2;
        }
        view.currentFrame = options.frame;
        dialog.playerDialog->updateDisplay(&dialog.flowData);
    }
    if (options.hasLayer) {
        const size_t layers = frames ? dialog.flowData.frames.front().layers.size() : 0;
        if (options.layer >= layers) {
            Tool::log("CQuorvaneApp", "Choosing layer .. [FAILED]",
                      "Layer " + std::to_string(options.layer) + " of " + std::to_string(layers));
            return 2;
        }
        view.currentLayer = options.layer;
        view.showLayer = true;
        view.loadTransferTexture(Transferfunction());
    }
    view.Invalidate();
    if (!options.snapshot.isEmpty() && !writeSnapshot(view, options.snapshot)) {
        return 2;
    }
    return 0;
}

bool CQuorvaneApp::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const Tool::Exception& e) {
        logFailure(e);
        std::exit(1);
    }
}
