#include "ui/PlayerDialog.h"

#include "flowdata/FlowData.h"
#include "render/COpenGLControl.h"
#include "ui/CLoadingDialog.h"
#include "ui/DialogUnits.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {
// A time step that yields no whole millisecond (zero, negative, not a number
// or below a millisecond) plays at this interval instead of a busy timer.
const int fallbackInterval = 10;

QPushButton* addButton(QDialog* dialog, const DialogUnits& du, const char* id, const char* text, QRect r)
{
    auto* button = new QPushButton(text, dialog);
    button->setObjectName(id);
    button->setGeometry(du.rect(r.x(), r.y(), r.width(), r.height()));
    return button;
}
} // namespace

PlayerDialog::PlayerDialog(QWidget* parent) : QDialog(parent), playTimer(this)
{
    setWindowTitle("Dialog");
    DialogUnits du(font());
    setFixedSize(du.x(262), du.y(79));

    frameLabel = new QLabel("Frame: ", this);
    frameLabel->setObjectName("1014");
    frameLabel->setGeometry(du.rect(7, 7, 121, 8));

    frameSlider = new QSlider(Qt::Horizontal, this);
    frameSlider->setObjectName("1012");
    frameSlider->setTickPosition(QSlider::TicksBothSides);
    frameSlider->setTickInterval(1);
    frameSlider->setFocusPolicy(Qt::StrongFocus);
    frameSlider->setGeometry(du.rect(7, 18, 248, 28));
    frameSlider->setRange(0, 0);

    connect(addButton(this, du, "1013", "<<", QRect(7, 49, 50, 14)), &QPushButton::clicked, this,
            &PlayerDialog::OnPrevious);
    connect(addButton(this, du, "1015", ">>", QRect(58, 49, 50, 14)), &QPushButton::clicked, this,
            &PlayerDialog::OnNext);
    connect(addButton(this, du, "1016", "Play", QRect(153, 49, 50, 14)), &QPushButton::clicked, this,
            &PlayerDialog::OnPlay);
    connect(addButton(this, du, "1017", "Stop", QRect(205, 49, 50, 14)), &QPushButton::clicked, this,
            &PlayerDialog::OnStop);

    QPushButton* ok = addButton(this, du, "1", "OK", QRect(160, 65, 37, 7));
    ok->setDefault(true);
    ok->hide();
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    QPushButton* cancel = addButton(this, du, "2", "Cancel", QRect(219, 65, 36, 7));
    cancel->hide();
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    // Every slider notification, from dragging, clicking or keys, moves the frame.
    connect(frameSlider, &QSlider::valueChanged, this, &PlayerDialog::OnHScroll);
    connect(frameSlider, &QSlider::sliderReleased, this, &PlayerDialog::OnHScroll);
    playTimer.setObjectName("playTimer");
    connect(&playTimer, &QTimer::timeout, this, &PlayerDialog::OnTimer);
}

void PlayerDialog::updateDisplay(FlowData* data)
{
    if (!data || !glControl) {
        return;
    }
    flowData = data;
    const auto n = static_cast<long long>(flowData->frames.size());
    const long long f = glControl->currentFrame;
    frameLabel->setText(QString("Frame: %1/%2").arg(f + 1).arg(n));
    // Setting the slider must not read back as a user's scroll.
    const QSignalBlocker quiet(frameSlider);
    frameSlider->setRange(0, static_cast<int>(std::max<long long>(n - 1, 0)));
    // Like a trackbar's, a page is a fifth of the range, at least one frame.
    frameSlider->setPageStep(std::max(frameSlider->maximum() / 5, 1));
    frameSlider->setValue(static_cast<int>(std::min<long long>(f, INT_MAX)));
}

void PlayerDialog::OnPrevious()
{
    if (!glControl || glControl->currentFrame == 0) {
        return;
    }
    setFrame(glControl->currentFrame - 1);
    showFrame();
}

void PlayerDialog::OnNext()
{
    if (!glControl) {
        return;
    }
    setFrame(glControl->currentFrame + 1);
    showFrame();
}

void PlayerDialog::OnPlay()
{
    if (!flowData || !glControl) {
        return;
    }
    if (timerId > 0) {
        playTimer.stop();
    }
    timerId = 1;
    playTimer.start(playInterval(flowData->timestep));
}

void PlayerDialog::OnStop()
{
    if (timerId > 0) {
        playTimer.stop();
    }
    timerId = -1;
}

void PlayerDialog::OnHScroll()
{
    if (!glControl) {
        return;
    }
    setFrame(static_cast<uint32_t>(frameSlider->value()));
    showFrame();
}

void PlayerDialog::OnTimer()
{
    // While a load runs the data set is half read; the step is skipped, as no
    // timer message would be delivered to a busy interface either.
    if (!glControl || !flowData || CLoadingDialog::loadRunning()) {
        return;
    }
    uint32_t next = glControl->currentFrame + 1;
    if (next >= flowData->frames.size()) {
        next = 0;
    }
    setFrame(next);
    showFrame();
    // The step after this one is read and decoded meanwhile, on a worker.
    if (next + 1 < flowData->frames.size()) {
        flowData->prefetch(next + 1, next);
    } else {
        flowData->prefetch(0, next);
    }
}

int PlayerDialog::playInterval(float timestep)
{
    const double ms = std::trunc(static_cast<double>(timestep) * 1000.0);
    if (!(ms >= 1.0)) {
        return fallbackInterval;
    }
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

void PlayerDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Once placed, the dialog comes back where the user left it instead of
    // being centred over the view again.
    setAttribute(Qt::WA_Moved);
}

// Enter ends the dialog like its invisible default button would.
void PlayerDialog::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    auto* focused = qobject_cast<QPushButton*>(focusWidget());
    if (enter && !(focused && focused->isVisible())) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// The view takes an index only while it lies within its own data set.
void PlayerDialog::setFrame(uint32_t index)
{
    if (!glControl->data() || index < glControl->data()->frames.size()) {
        glControl->currentFrame = index;
    }
}

void PlayerDialog::showFrame()
{
    updateDisplay(flowData);
    glControl->Invalidate();
}
