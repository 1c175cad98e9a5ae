#pragma once

#include "diagnostics/Logger.h"
#include "flowdata/FlowData.h"
#include "render/COpenGLControl.h"
#include "support/CountingSurface.h"
#include "support/LogRecorder.h"
#include "support/TestApplication.h"
#include "transfer/PresetManager.h"
#include "ui/CTransferDialog.h"
#include "ui/HistogramCache.h"
#include "ui/TransferAreaPainter.h"
#include "ui/ValueAxis.h"

#include <QApplication>
#include <QColor>
#include <QColorDialog>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

// A loaded-looking data set: one frame whose layer l holds values[l].
void fill(FlowData& data, const std::vector<std::vector<float>>& values);

// Runs answer on the next modal dialog as soon as it is up; the callback
// must close it.
void onNextModal(std::function<void(QWidget*)> answer);

void expectColor(const QColor& actual, int r, int g, int b, int tolerance = 2);

std::vector<std::vector<float>> twoLayers();

// Starts the application before the dialog is built.
struct WithApplication {
    WithApplication() { TestApplication::instance(); }
};

class EditorTest : public ::testing::Test, private WithApplication {
protected:
    EditorTest() : dialog(nullptr) { dialog.glControl = &control; }

    template <class T> T* child(const char* id) { return dialog.findChild<T*>(id); }
    void click(const char* id) { child<QPushButton>(id)->click(); }
    QSlider* valueSlider() { return child<QSlider>("1054"); }
    QSlider* opacitySlider() { return child<QSlider>("1063"); }
    QComboBox* layers() { return child<QComboBox>("1005"); }
    QComboBox* presets() { return child<QComboBox>("1022"); }
    QString valueLabel() { return child<QLabel>("1055")->text(); }
    QRect area(const char* id) { return child<QWidget>(id)->geometry(); }

    // What the user does: these reach the dialog through the widgets' signals.
    void selectLayer(int index)
    {
        layers()->setCurrentIndex(index);
        emit layers()->activated(index);
    }
    void moveValueSlider(int k) { valueSlider()->setValue(k); }

    void load(const std::vector<std::vector<float>>& values)
    {
        fill(data, values);
        dialog.flowData = &data;
        dialog.refreshLayers();
    }

    // Adds a colour point through the colour chooser, picking color.
    void addColor(const QColor& color)
    {
        onNextModal([color](QWidget* modal) {
            auto* chooser = qobject_cast<QColorDialog*>(modal);
            ASSERT_NE(chooser, nullptr);
            EXPECT_EQ(chooser->currentColor(), QColor(Qt::black));
            chooser->setCurrentColor(color);
            chooser->accept();
        });
        click("1043");
    }

    QImage picture() { return dialog.grab().toImage(); }

    FlowData data;
    COpenGLControl control;
    CTransferDialog dialog;
};
