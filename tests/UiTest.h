#pragma once

#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "flowdata/FlowData.h"
#include "render/COpenGLControl.h"
#include "render/WindowMessages.h"
#include "support/MovieProbe.h"
#include "support/Picture.h"
#include "transfer/PresetManager.h"
#include "ui/CLoadingDialog.h"
#include "ui/CQuorvaneApp.h"
#include "ui/CQuorvaneDlg.h"
#include "ui/CTransferDialog.h"
#include "ui/CommandLine.h"
#include "ui/DialogUnits.h"
#include "ui/FrameExporter.h"
#include "ui/PlayerDialog.h"
#include "ui/Snapshot.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QOpenGLContext>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class QWidget;

// The program's application, started once per test process in a private
// folder; the presets file holds two presets before the first test.
CQuorvaneApp& application();

std::string currentFolder();

// Writes a data set: a flat X x Y x Z grid over the unit square and one frame
// file per entry of frameVectors, each node holding that vector (or the one
// columnVector gives its column) and layer values that grow with the node index.
std::string writeDataSet(const std::string& stem, int headerFrames, size_t frameFiles, float timestep,
                         const std::vector<std::array<float, 3>>& frameVectors = {},
                         const std::function<std::array<float, 3>(int i)>& columnVector = {});

// Index of the first message at or after `from` whose text starts with
// prefix, or -1.
long findLog(const std::string& prefix, size_t from = 0);

// The view registers its shader programs once per process, as the program
// has one main dialog; ctest runs every test in a process of its own.
bool claimMainDialog();

#define REQUIRE_OWN_PROCESS()                                                                                          \
    if (!claimMainDialog()) {                                                                                          \
        GTEST_SKIP() << "needs a process of its own (one main dialog per process); run it through ctest";              \
    }

QAction* item(CQuorvaneDlg& dialog, const char* id);
QPushButton* button(QWidget& dialog, const char* id);
QLabel* frameLabel(PlayerDialog* player);
QSlider* frameSlider(PlayerDialog* player);
QTimer* playTimer(PlayerDialog* player);
// One timeout of the play timer, as if its interval had passed.
void tick(PlayerDialog* player);

class Ui : public ::testing::Test {
protected:
    void SetUp() override
    {
        application();
        REQUIRE_OWN_PROCESS();
        dialog = std::make_unique<CQuorvaneDlg>();
        ASSERT_TRUE(dialog->OnInitDialog());
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        player = dialog->playerDialog;
    }

    void TearDown() override { dialog.reset(); }

    std::unique_ptr<CQuorvaneDlg> dialog;
    PlayerDialog* player = nullptr;
};