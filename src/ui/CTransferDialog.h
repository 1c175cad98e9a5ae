#pragma once

#include <QDialog>

class FlowData;
class COpenGLControl;

// The transfer-function editor: picks a layer, shows its histogram and lets
// the user edit the layer's colour and opacity control points and presets.
class CTransferDialog : public QDialog {
    Q_OBJECT

public:
    explicit CTransferDialog(QWidget* parent);

    // Makes one default transfer function per layer and selects "Flowdata".
    void refreshLayers();

    FlowData* flowData = nullptr;        // not owned
    COpenGLControl* glControl = nullptr; // not owned
};
