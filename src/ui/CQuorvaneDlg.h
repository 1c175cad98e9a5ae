#pragma once

#include "flowdata/FlowData.h"
#include "render/COpenGLControl.h"

#include <QDialog>
#include <QIcon>

#include <string>

class CTransferDialog;
class PlayerDialog;
class QAction;
class QMenuBar;

// The main window: owns the data set and the view, carries the menu, runs
// the load command and forwards size and mouse input to the view.
class CQuorvaneDlg : public QDialog {
    Q_OBJECT

public:
    CQuorvaneDlg();

    // Start-up: presets, the hidden editor and player, the view's window.
    // Throws Tool::Exception when the view cannot be created.
    bool OnInitDialog();

    // The load command: asks for a grid file, then loads it.
    void OnFileLoad();
    // The load command after the file dialog. False when loading failed.
    bool loadFile(const std::string& gridPath);

    // Asks for a movie file, then writes the whole frame range to it.
    void OnFileExportMovie();
    void OnFileExit();
    void OnResetCamera();
    void OnShowAxes();
    void OnShowWireframe();
    void OnShowGlyphs();
    void OnShowStreamlines();
    void OnTransferfunction();
    void OnPlayer();

    // The widget below the menu in which the view lives.
    QWidget* clientArea() const { return client; }

    CTransferDialog* transferDialog = nullptr; // owned through the Qt parent
    PlayerDialog* playerDialog = nullptr;      // owned through the Qt parent
    FlowData flowData;
    QIcon icon;
    COpenGLControl glControl;
    QMenuBar* menu;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void createMenu();
    QAction* addItem(class QMenu* popup, const char* id, const char* caption);
    void toggle(const char* id, bool& flag);
    unsigned sizeType() const;

    QWidget* client;
};
