#pragma once

#include "transfer/Transferfunction.h"
#include "ui/HistogramCache.h"

#include <QDialog>

#include <vector>

class COpenGLControl;
class FlowData;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

// The transfer-function editor: the user picks a layer of the loaded data
// set, sees its histogram, edits the layer's colour and opacity control
// points along a value slider, and loads or saves named presets. It keeps
// one transfer function per layer. Modeless; closing it only hides it.
//
// The widgets keep their own state, so handlers read them directly instead
// of copying them into members first.
class CTransferDialog : public QDialog {
    Q_OBJECT

public:
    explicit CTransferDialog(QWidget* parent);

    // After every successful load: one default function per layer, the layer
    // list refilled with "Flowdata" selected, the view back to plain drawing.
    void refreshLayers();
    // Refills the preset list from the store, keeping the typed name.
    void refreshPresetList();

    // Picks an entry of the layer list as the user does: entry 0 shows the
    // plain data, entry i the layer i - 1 through its function. False, with
    // nothing changed, for an entry the list does not hold.
    bool chooseLayer(int entry);

    // One function per layer of the loaded set.
    const std::vector<Transferfunction>& layerFunctions() const { return transferFunctions; }

    FlowData* flowData = nullptr;        // not owned; null until the first load
    COpenGLControl* glControl = nullptr; // not owned

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    QPushButton* addButton(const char* id, const char* caption, const QRect& rect);
    QWidget* addArea(const char* id, const QRect& rect);

    // The selected layer's function, or null when "Flowdata" (or nothing)
    // is selected.
    Transferfunction* selectedFunction();
    float currentPosition() const;
    void setValuePosition(int k);
    void updateValueLabel();
    void repaintAll();

    void addColor();
    void removeColor();
    void resetColor();
    void addAlpha();
    void removeAlpha();
    void resetAlpha();
    void previousPoint();
    void nextPoint();
    void loadPreset();
    void savePreset();
    void valueScrolled();

    void paintArea(QWidget* area);

    std::vector<Transferfunction> transferFunctions; // one per layer
    QComboBox* layerList_ = nullptr;
    QWidget* histogramArea_ = nullptr;
    QWidget* colorBar_ = nullptr;
    QWidget* opacityBar_ = nullptr;
    QLabel* valueLabel_ = nullptr;
    QSlider* valueSlider_ = nullptr;
    QSlider* opacitySlider_ = nullptr;
    QComboBox* presetBox_ = nullptr;
    HistogramCache histograms_;
};
