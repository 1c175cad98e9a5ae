#pragma once

#include "flowdata/LoadingProgress.h"

#include <QDialog>

class QProgressBar;

// The small window shown while a data set loads. The loader drives its
// progress bar; the window has no caption, sits centred on the screen above
// the other windows and offers no way to cancel.
class CLoadingDialog : public QDialog, public LoadingProgress {
    Q_OBJECT

public:
    explicit CLoadingDialog(QWidget* parent);
    ~CLoadingDialog() override;

    // Shows the window and waits (briefly) until it is on the screen, so the
    // user sees it before the loader blocks the interface.
    void showCentred();

    void setRange(int lower, int upper) override;
    void setPosition(int position) override;
    void repaint() override;

    // True while any loading dialog exists: a load is running and the
    // interface must not step frames of the half-read data set meanwhile.
    static bool loadRunning();

    QProgressBar* progress;

private:
    void keepPainted();
    static int openDialogs_;
};
