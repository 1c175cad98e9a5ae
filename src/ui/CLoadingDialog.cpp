#include "ui/CLoadingDialog.h"

#include "ui/DialogUnits.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

int CLoadingDialog::openDialogs_ = 0;

CLoadingDialog::CLoadingDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    ++openDialogs_;
    DialogUnits du(font());
    setFixedSize(du.x(252), du.y(59));

    // Without a caption the window gets its thin border from a frame.
    auto* border = new QFrame(this);
    border->setFrameStyle(QFrame::Box | QFrame::Plain);
    border->setGeometry(rect());

    auto* label = new QLabel("Loading:", this);
    label->setObjectName("1003");
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(du.rect(7, 7, 238, 24));

    progress = new QProgressBar(this);
    progress->setObjectName("1002");
    progress->setTextVisible(false);
    progress->setGeometry(du.rect(7, 34, 238, 14));

    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("2");
    cancel->setGeometry(du.rect(129, 38, 50, 14));
    cancel->hide();
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("1004");
    ok->setDefault(true);
    ok->setGeometry(du.rect(195, 38, 50, 14));
    ok->hide();
}

CLoadingDialog::~CLoadingDialog()
{
    --openDialogs_;
}

bool CLoadingDialog::loadRunning()
{
    return openDialogs_ > 0;
}

void CLoadingDialog::showCentred()
{
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        move(screen->availableGeometry().center() - rect().center());
    }
    show();
    QElapsedTimer waited;
    waited.start();
    while (!(windowHandle() && windowHandle()->isExposed()) && waited.elapsed() < 500) {
        keepPainted();
    }
    QWidget::repaint();
}

void CLoadingDialog::setRange(int lower, int upper)
{
    progress->setRange(lower, upper);
}

void CLoadingDialog::setPosition(int position)
{
    // Thousands of frame files may share one position: repainting for each
    // would take most of the load.
    if (position == progress->value()) {
        return;
    }
    progress->setValue(position);
    progress->repaint();
    keepPainted();
}

void CLoadingDialog::repaint()
{
    QWidget::repaint();
    keepPainted();
}

// Window-system requests (exposure, paints) are served while the loader runs;
// user input waits until the load is over.
void CLoadingDialog::keepPainted()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
