#pragma once

#include <QDialog>
#include <QTimer>

#include <cstdint>

class COpenGLControl;
class FlowData;
class QLabel;
class QSlider;

// Steps, drags and plays through the frames of the loaded data set by moving
// the view's current frame. It draws nothing itself.
class PlayerDialog : public QDialog {
    Q_OBJECT

public:
    explicit PlayerDialog(QWidget* parent);

    // Takes the data set (null changes nothing, as does a missing view) and
    // shows the view's current frame in the label and on the slider.
    void updateDisplay(FlowData* data);

    // Milliseconds between two steps for a time step in seconds.
    static int playInterval(float timestep);

    bool playing() const { return timerId > 0; }

    COpenGLControl* glControl = nullptr; // not owned
    FlowData* flowData = nullptr;        // not owned

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void OnPrevious();
    void OnNext();
    void OnPlay();
    void OnStop();
    void OnHScroll();
    // One step of playing, taken at each timeout of the play timer.
    void OnTimer();

    void setFrame(uint32_t index);
    void showFrame();

    QSlider* frameSlider;
    QLabel* frameLabel;
    int32_t timerId = -1; // 1 while playing
    QTimer playTimer;
};
