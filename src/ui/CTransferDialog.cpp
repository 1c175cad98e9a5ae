#include "ui/CTransferDialog.h"

#include "flowdata/FlowData.h"
#include "render/COpenGLControl.h"
#include "transfer/PresetManager.h"
#include "ui/DialogUnits.h"
#include "ui/TransferAreaPainter.h"
#include "ui/ValueAxis.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>

#include <algorithm>
#include <string>

namespace {

// The preset list shows its names sorted without regard to case, the way
// a sorted combo box lists them.
QStringList sortedForDisplay(const std::vector<std::string>& names)
{
    QStringList list;
    for (const std::string& name : names) {
        list << QString::fromStdString(name);
    }
    std::stable_sort(list.begin(), list.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    return list;
}

// The window manager cuts a caption that does not fit beside its icon and
// three buttons; the box's own width follows only its text. Room for the
// caption in a bold title font and about six title-bar heights for the rest.
void widenForCaption(QMessageBox& box)
{
    QFont title = QApplication::font("QMdiSubWindowTitleBar");
    title.setBold(true);
    const int width = QFontMetrics(title).horizontalAdvance(box.windowTitle()) +
                      6 * box.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
}

} // namespace

CTransferDialog::CTransferDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle("Transferfunction");
    createControls();
    refreshPresetList();
}

void CTransferDialog::createControls()
{
    const DialogUnits du(font());
    setFixedSize(du.x(381), du.y(234));

    auto* histogramGroup = new QGroupBox("Histogram", this);
    histogramGroup->setGeometry(du.rect(7, 25, 367, 168));
    histogramArea_ = addArea("1064", du.rect(16, 36, 282, 71));
    colorBar_ = addArea("1053", du.rect(16, 113, 282, 16));
    connect(addButton("1043", "+", du.rect(306, 114, 15, 13)), &QPushButton::clicked, this, [this] { addColor(); });
    connect(addButton("1044", "-", du.rect(321, 114, 15, 13)), &QPushButton::clicked, this, [this] { removeColor(); });
    connect(addButton("1045", "Reset", du.rect(342, 114, 26, 13)), &QPushButton::clicked, this,
            [this] { resetColor(); });
    // Created after the colour bar, so it covers the row of pixels they share.
    opacityBar_ = addArea("1058", du.rect(16, 128, 282, 15));
    connect(addButton("1047", "+", du.rect(306, 130, 15, 13)), &QPushButton::clicked, this, [this] { addAlpha(); });
    connect(addButton("1049", "-", du.rect(321, 130, 15, 13)), &QPushButton::clicked, this, [this] { removeAlpha(); });
    connect(addButton("1050", "Reset", du.rect(342, 130, 26, 13)), &QPushButton::clicked, this,
            [this] { resetAlpha(); });

    valueLabel_ = new QLabel("Value: 0", this);
    valueLabel_->setObjectName("1055");
    valueLabel_->setGeometry(du.rect(16, 146, 132, 8));

    valueSlider_ = new QSlider(Qt::Horizontal, this);
    valueSlider_->setObjectName("1054");
    valueSlider_->setGeometry(du.rect(16, 156, 282, 12));
    valueSlider_->setTickPosition(QSlider::NoTicks);
    valueSlider_->setRange(0, ValueAxis::sliderMaximum);
    // Like a trackbar, a page is a fifth of the range.
    valueSlider_->setPageStep(ValueAxis::sliderMaximum / 5);
    // Only the user's moves arrive here: programmatic moves block signals.
    connect(valueSlider_, &QSlider::valueChanged, this, [this] { valueScrolled(); });
    valueSlider_->installEventFilter(this);

    opacitySlider_ = new QSlider(Qt::Horizontal, this);
    opacitySlider_->setObjectName("1063");
    opacitySlider_->setGeometry(du.rect(300, 149, 74, 25));
    opacitySlider_->setTickPosition(QSlider::TicksBothSides);
    opacitySlider_->setTickInterval(1);
    opacitySlider_->setRange(0, ValueAxis::opacityMaximum);
    opacitySlider_->setPageStep(ValueAxis::opacityMaximum / 5);

    connect(addButton("1046", "<<", du.rect(16, 173, 27, 13)), &QPushButton::clicked, this,
            [this] { previousPoint(); });
    connect(addButton("1048", ">>", du.rect(44, 173, 27, 13)), &QPushButton::clicked, this, [this] { nextPoint(); });

    auto* presetGroup = new QGroupBox("Preset", this);
    presetGroup->setGeometry(du.rect(7, 195, 269, 31));
    presetBox_ = new QComboBox(this);
    presetBox_->setObjectName("1022");
    presetBox_->setEditable(true);
    presetBox_->setInsertPolicy(QComboBox::NoInsert);
    // The name is taken exactly as typed: no completion from stored names.
    presetBox_->setCompleter(nullptr);
    presetBox_->view()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    const QRect presetRect = du.rect(25, 206, 171, 76);
    presetBox_->setGeometry(presetRect.x(), presetRect.y(), presetRect.width(), presetBox_->sizeHint().height());
    connect(addButton("1024", "Load", du.rect(203, 206, 26, 12)), &QPushButton::clicked, this,
            [this] { loadPreset(); });
    connect(addButton("1026", "Save", du.rect(229, 206, 26, 12)), &QPushButton::clicked, this,
            [this] { savePreset(); });

    auto* layerLabel = new QLabel("Layer:", this);
    layerLabel->setGeometry(du.rect(266, 9, 22, 8));
    layerList_ = new QComboBox(this);
    layerList_->setObjectName("1005");
    const QRect layerRect = du.rect(292, 7, 82, 49);
    layerList_->setGeometry(layerRect.x(), layerRect.y(), layerRect.width(), layerList_->sizeHint().height());
    // activated, unlike currentIndexChanged, comes only from the user, and
    // also when the same layer is picked again (which re-uploads its texture).
    connect(layerList_, &QComboBox::activated, this, [this](int index) { chooseLayer(index); });
}

QPushButton* CTransferDialog::addButton(const char* id, const char* caption, const QRect& rect)
{
    auto* button = new QPushButton(caption, this);
    button->setObjectName(id);
    button->setGeometry(rect);
    // Enter is handled by the dialog itself.
    button->setAutoDefault(false);
    return button;
}

QWidget* CTransferDialog::addArea(const char* id, const QRect& rect)
{
    // The dialog paints the area through this widget, which lies above the
    // group box (that would otherwise shade it) and gives the rectangle.
    auto* area = new QWidget(this);
    area->setObjectName(id);
    area->setGeometry(rect);
    area->installEventFilter(this);
    return area;
}

void CTransferDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Once placed, the dialog comes back where the user left it instead of
    // being centred over the view again.
    setAttribute(Qt::WA_Moved);
}

// Enter presses the focused button; anywhere else it ends the dialog like its
// default OK would.
void CTransferDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* focused = qobject_cast<QPushButton*>(focusWidget())) {
            focused->click();
        } else {
            accept();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CTransferDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Releasing the value slider moves the markers to its new position.
    if (watched == valueSlider_ && event->type() == QEvent::MouseButtonRelease) {
        update();
    }
    if (event->type() == QEvent::Paint &&
        (watched == histogramArea_ || watched == colorBar_ || watched == opacityBar_)) {
        paintArea(static_cast<QWidget*>(watched));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

Transferfunction* CTransferDialog::selectedFunction()
{
    const int index = layerList_->currentIndex();
    if (index < 1 || index > static_cast<int>(transferFunctions.size())) {
        return nullptr;
    }
    return &transferFunctions[index - 1];
}

float CTransferDialog::currentPosition() const
{
    return ValueAxis::position(valueSlider_->value());
}

void CTransferDialog::setValuePosition(int k)
{
    const QSignalBlocker blocker(valueSlider_);
    valueSlider_->setValue(k);
}

void CTransferDialog::updateValueLabel()
{
    valueLabel_->setText(QString::fromStdString(ValueAxis::labelText(valueSlider_->value())));
}

void CTransferDialog::repaintAll()
{
    update();
    if (glControl) {
        glControl->Invalidate();
    }
}

// Edits change only the editor's function: the view keeps its transfer
// texture until the layer is picked again or a preset is loaded into it.

void CTransferDialog::addColor()
{
    if (!selectedFunction()) {
        return;
    }
    const QColor chosen = QColorDialog::getColor(Qt::black, this);
    // Looked up again: the chooser ran its own event loop meanwhile.
    Transferfunction* tf = selectedFunction();
    if (!chosen.isValid() || !tf) {
        return;
    }
    tf->setColor(currentPosition(), ColorRGB(chosen.red(), chosen.green(), chosen.blue()));
    repaintAll();
}

void CTransferDialog::removeColor()
{
    if (Transferfunction* tf = selectedFunction()) {
        tf->removeColor(currentPosition());
        repaintAll();
    }
}

void CTransferDialog::resetColor()
{
    if (Transferfunction* tf = selectedFunction()) {
        tf->resetColor();
        repaintAll();
    }
}

void CTransferDialog::addAlpha()
{
    if (Transferfunction* tf = selectedFunction()) {
        tf->setAlpha(currentPosition(), ValueAxis::opacity(opacitySlider_->value()));
        repaintAll();
    }
}

void CTransferDialog::removeAlpha()
{
    if (Transferfunction* tf = selectedFunction()) {
        tf->removeAlpha(currentPosition());
        repaintAll();
    }
}

void CTransferDialog::resetAlpha()
{
    if (Transferfunction* tf = selectedFunction()) {
        tf->resetAlpha();
        repaintAll();
    }
}

// The two navigation buttons step through the union of both lists' points.
// They move neither the opacity slider nor the markers: those follow at the
// next repaint.

void CTransferDialog::nextPoint()
{
    const Transferfunction* tf = selectedFunction();
    if (!tf) {
        return;
    }
    const float p = currentPosition();
    setValuePosition(ValueAxis::sliderPosition(std::min(tf->nextColorPosition(p), tf->nextAlphaPosition(p))));
    updateValueLabel();
}

void CTransferDialog::previousPoint()
{
    const Transferfunction* tf = selectedFunction();
    if (!tf) {
        return;
    }
    const float p = currentPosition();
    setValuePosition(ValueAxis::sliderPosition(std::max(tf->previousColorPosition(p), tf->previousAlphaPosition(p))));
    updateValueLabel();
}

void CTransferDialog::valueScrolled()
{
    updateValueLabel();
    if (Transferfunction* tf = selectedFunction()) {
        const QSignalBlocker blocker(opacitySlider_);
        opacitySlider_->setValue(ValueAxis::opacitySliderPosition(tf->getAlpha(currentPosition())));
    }
}

bool CTransferDialog::chooseLayer(int entry)
{
    if (entry < 0 || entry >= layerList_->count() || entry > static_cast<int>(transferFunctions.size())) {
        return false;
    }
    layerList_->setCurrentIndex(entry);
    if (!glControl) {
        return true;
    }
    if (entry >= 1) {
        glControl->showLayer = true;
        glControl->currentLayer = static_cast<uint32_t>(entry - 1);
        glControl->loadTransferTexture(transferFunctions[entry - 1]);
    } else {
        glControl->showLayer = false;
    }
    repaintAll();
    return true;
}

void CTransferDialog::loadPreset()
{
    Transferfunction* tf = selectedFunction();
    const QString name = presetBox_->currentText();
    if (!tf || name.isEmpty()) {
        return;
    }
    PresetManager& store = PresetManager::getInstance();
    if (!store.hasPreset(name.toStdString())) {
        QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), "Preset doesn't exist",
                        QMessageBox::Ok, this);
        widenForCaption(box);
        box.exec();
        return;
    }
    const Transferfunction& preset = store.getPreset(name.toStdString());
    tf->color = preset.color;
    tf->alpha = preset.alpha;
    update();
    if (glControl) {
        glControl->loadTransferTexture(*tf);
        glControl->Invalidate();
    }
}

void CTransferDialog::savePreset()
{
    const Transferfunction* tf = selectedFunction();
    const QString name = presetBox_->currentText();
    if (!tf || name.isEmpty()) {
        return;
    }
    PresetManager& store = PresetManager::getInstance();
    Transferfunction& preset = store.getPreset(name.toStdString());
    preset.color = tf->color;
    preset.alpha = tf->alpha;
    store.save();
    refreshPresetList();
}

void CTransferDialog::refreshPresetList()
{
    const QString typed = presetBox_->currentText();
    const QSignalBlocker blocker(presetBox_);
    presetBox_->clear();
    presetBox_->addItems(sortedForDisplay(PresetManager::getInstance().getPresetNames()));
    presetBox_->setCurrentIndex(-1);
    presetBox_->setEditText(typed);
}

void CTransferDialog::refreshLayers()
{
    histograms_.invalidate();
    transferFunctions.clear();
    std::vector<QString> names;
    if (flowData && !flowData->frames.empty()) {
        for (const DataLayer& layer : flowData->frames.front().layers) {
            names.push_back(QString::fromStdString(layer.name));
        }
    }
    transferFunctions.resize(names.size());
    if (!glControl) {
        return;
    }
    glControl->showLayer = false;
    layerList_->clear();
    layerList_->addItem("Flowdata");
    for (const QString& name : names) {
        layerList_->addItem(name);
    }
    layerList_->setCurrentIndex(0);
    update();
}

// The areas are painted in the order histogram, colour bar, opacity bar (the
// two bars share a row of pixels), each in dialog coordinates.
void CTransferDialog::paintArea(QWidget* area)
{
    if (!flowData) {
        return;
    }
    QPainter painter(area);
    painter.translate(-area->pos());
    TransferAreaPainter areas(painter);
    const QRect rect = area->geometry();
    areas.frame(rect);

    // A failed load leaves the set empty without telling the editor: then
    // the areas stay empty, whatever the layer list still shows.
    const Transferfunction* tf = flowData->frames.empty() ? nullptr : selectedFunction();
    if (!tf) {
        return;
    }
    const int w = TransferAreaPainter::usableWidth(rect);
    const int k = valueSlider_->value();
    if (area == histogramArea_) {
        const int layer = layerList_->currentIndex() - 1;
        if (w > 0 && layer < static_cast<int>(flowData->frames.front().layers.size())) {
            areas.histogram(rect, histograms_.histogram(*flowData, layer, w));
        }
    } else if (area == colorBar_) {
        areas.colorBar(rect, tf->sampleColors(std::max(0, w)), k);
    } else {
        areas.opacityBar(rect, tf->sampleAlphas(std::max(0, w)), k);
    }
}
