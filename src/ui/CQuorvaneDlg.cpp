#include "ui/CQuorvaneDlg.h"

#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "render/KeyFlags.h"
#include "transfer/PresetManager.h"
#include "ui/CLoadingDialog.h"
#include "ui/CTransferDialog.h"
#include "ui/DialogUnits.h"
#include "ui/MovieExport.h"
#include "ui/PlayerDialog.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {
// The application icon: a slice of flow colours under a white arrow.
QIcon drawIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::black);
    QPainter painter(&pixmap);
    QLinearGradient flow(0, 0, 32, 32);
    flow.setColorAt(0.0, QColor(255, 0, 0));
    flow.setColorAt(0.5, QColor(0, 255, 0));
    flow.setColorAt(1.0, QColor(0, 0, 255));
    painter.fillRect(4, 4, 24, 24, flow);
    painter.setPen(QPen(Qt::white, 3));
    painter.drawLine(8, 24, 24, 8);
    painter.drawLine(24, 8, 16, 8);
    painter.drawLine(24, 8, 24, 16);
    return QIcon(pixmap);
}

} // namespace

CQuorvaneDlg::CQuorvaneDlg()
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                           Qt::WindowCloseButtonHint),
      icon(drawIcon())
{
    setWindowTitle("Quorvane");
    setSizeGripEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    createMenu();
    layout->setMenuBar(menu);

    // Stands for the client area: the view is placed inside it at (0, 0).
    client = new QWidget(this);
    client->setObjectName("client");
    client->setMouseTracking(true);
    client->installEventFilter(this);
    layout->addWidget(client, 1);
    setMouseTracking(true);

    auto* ok = new QPushButton("OK", client);
    ok->setObjectName("1");
    ok->hide();
    auto* cancel = new QPushButton("Cancel", client);
    cancel->setObjectName("2");
    cancel->hide();

    DialogUnits du(font());
    resize(du.x(325), du.y(199) + menu->sizeHint().height());
}

void CQuorvaneDlg::createMenu()
{
    menu = new QMenuBar(this);
    QMenu* file = menu->addMenu("&File");
    connect(addItem(file, "32773", "&Load"), &QAction::triggered, this, &CQuorvaneDlg::OnFileLoad);
    connect(addItem(file, "32786", "&Export Movie..."), &QAction::triggered, this, &CQuorvaneDlg::OnFileExportMovie);
    file->addSeparator();
    connect(addItem(file, "32771", "E&xit"), &QAction::triggered, this, &CQuorvaneDlg::OnFileExit);

    QMenu* view = menu->addMenu("&View");
    connect(addItem(view, "32775", "&Reset Camera"), &QAction::triggered, this, &CQuorvaneDlg::OnResetCamera);
    view->addSeparator();
    struct Toggle {
        const char* id;
        const char* caption;
        bool checked;
        void (CQuorvaneDlg::*handler)();
    };
    const Toggle toggles[] = {
        {"32776", "Show &Axes", glControl.showAxes, &CQuorvaneDlg::OnShowAxes},
        {"32782", "Show &Wireframe", glControl.showWireframe, &CQuorvaneDlg::OnShowWireframe},
        {"32784", "Show &Glyphs", glControl.showGlyphs, &CQuorvaneDlg::OnShowGlyphs},
        {"32785", "Show &Streamlines", glControl.showStreamlines, &CQuorvaneDlg::OnShowStreamlines},
    };
    for (const Toggle& t : toggles) {
        QAction* item = addItem(view, t.id, t.caption);
        item->setCheckable(true);
        item->setChecked(t.checked);
        connect(item, &QAction::triggered, this, t.handler);
    }
    view->addSeparator();
    connect(addItem(view, "32777", "&Transferfunction"), &QAction::triggered, this, &CQuorvaneDlg::OnTransferfunction);
    addItem(view, "32778", "&Parameters"); // inert
    connect(addItem(view, "32783", "P&layer"), &QAction::triggered, this, &CQuorvaneDlg::OnPlayer);
}

QAction* CQuorvaneDlg::addItem(QMenu* popup, const char* id, const char* caption)
{
    QAction* item = popup->addAction(caption);
    item->setObjectName(id);
    return item;
}

bool CQuorvaneDlg::OnInitDialog()
{
    setWindowIcon(icon);

    PresetManager& presets = PresetManager::getInstance();
    presets.load();
    Tool::log("Brindlemoor", "Loaded " + std::to_string(presets.getPresetCount()) + " Transfer Preset(s) .. [OK]");

    transferDialog = new CTransferDialog(this);
    transferDialog->glControl = &glControl;
    transferDialog->flowData = nullptr;

    playerDialog = new PlayerDialog(this);
    playerDialog->glControl = &glControl;

    // The view is created on the client rectangle: the whole window's
    // rectangle would leave it reaching below the client area, as its first
    // size notification is ignored.
    layout()->activate();
    glControl.oglCreate(client->rect(), client);

    Tool::log("CQuorvaneDlg::OnInitDialog()", "Initialising Quorvane Dialog .. [OK]");
    return true;
}

void CQuorvaneDlg::OnFileLoad()
{
    QFileDialog files(this, "Loading Flow Data", QDir::currentPath(), "Flow Grid File (*.gri)");
    files.setAcceptMode(QFileDialog::AcceptOpen);
    files.setFileMode(QFileDialog::ExistingFile);
    files.setDefaultSuffix("gri");
    // The name field starts with the pattern; entering a pattern filters the list.
    files.selectFile("*.gri");
    if (files.exec() != QDialog::Accepted || files.selectedFiles().isEmpty()) {
        return;
    }
    loadFile(QFile::encodeName(files.selectedFiles().front()).toStdString());
}

bool CQuorvaneDlg::loadFile(const std::string& gridPath)
{
    // The loading dialog serves paints while the set is emptied and filled
    // again: neither the view nor the editor may read it meanwhile.
    glControl.suspendDrawing();
    FlowData* const edited = transferDialog->flowData;
    transferDialog->flowData = nullptr;
    if (!flowData.frames.empty()) {
        flowData.unload();
    }
    bool loaded = false;
    try {
        CLoadingDialog loading(this);
        loading.showCentred();
        flowData.load(gridPath, loading);
        transferDialog->flowData = &flowData;
        transferDialog->refreshLayers();
        playerDialog->updateDisplay(&flowData);
        glControl.setFlowData(&flowData);
        loading.hide();
        loaded = true;
    } catch (Tool::Exception& e) {
        Tool::Logger::instance().log(e.toMessage());
        transferDialog->flowData = edited;
    }
    glControl.resumeDrawing();
    return loaded;
}

void CQuorvaneDlg::OnFileExportMovie()
{
    QFileDialog files(this, "Export Movie", QDir::currentPath(), "Movie (*.mp4 *.mkv *.webm)");
    files.setAcceptMode(QFileDialog::AcceptSave);
    files.setDefaultSuffix("mp4");
    if (files.exec() == QDialog::Accepted && !files.selectedFiles().isEmpty()) {
        exportMovie(*this, files.selectedFiles().front());
    }
}

// Ends the process at once: the dialog is not closed, so the data set is
// never unloaded.
void CQuorvaneDlg::OnFileExit()
{
    std::exit(0);
}

void CQuorvaneDlg::OnResetCamera()
{
    glControl.resetCamera();
}

void CQuorvaneDlg::OnShowAxes()
{
    toggle("32776", glControl.showAxes);
}

void CQuorvaneDlg::OnShowWireframe()
{
    toggle("32782", glControl.showWireframe);
}

void CQuorvaneDlg::OnShowGlyphs()
{
    toggle("32784", glControl.showGlyphs);
}

void CQuorvaneDlg::OnShowStreamlines()
{
    toggle("32785", glControl.showStreamlines);
}

void CQuorvaneDlg::OnTransferfunction()
{
    transferDialog->show();
}

void CQuorvaneDlg::OnPlayer()
{
    playerDialog->show();
}

// The item has already flipped its check mark; the flag follows it.
void CQuorvaneDlg::toggle(const char* id, bool& flag)
{
    flag = menu->findChild<QAction*>(id)->isChecked();
    glControl.Invalidate();
}

unsigned CQuorvaneDlg::sizeType() const
{
    if (isMinimized()) {
        return SIZE_MINIMIZED;
    }
    return isMaximized() ? SIZE_MAXIMIZED : SIZE_RESTORED;
}

bool CQuorvaneDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == client && event->type() == QEvent::Resize) {
        glControl.OnSize(sizeType(), client->width(), client->height());
    }
    return QDialog::eventFilter(watched, event);
}

// Minimising gives no resize in Qt; the view still hears of it.
void CQuorvaneDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        glControl.OnSize(SIZE_MINIMIZED, 0, 0);
    }
}

void CQuorvaneDlg::mouseMoveEvent(QMouseEvent* event)
{
    QDialog::mouseMoveEvent(event);
    const QPoint p = client->mapFrom(this, event->position().toPoint());
    glControl.OnMouseMove(keyFlags(event->buttons(), event->modifiers()), p.x(), p.y());
}

// Only the vertical wheel reaches the view; a horizontal turn gets the
// default handling alone.
void CQuorvaneDlg::wheelEvent(QWheelEvent* event)
{
    if (event->angleDelta().y() != 0) {
        const int delta = std::clamp(event->angleDelta().y(), -32768, 32767);
        const QPoint p = client->mapFrom(this, event->position().toPoint());
        glControl.OnMouseHWheel(keyFlags(event->buttons(), event->modifiers()), static_cast<short>(delta), p.x(),
                                p.y());
    }
    QDialog::wheelEvent(event);
}
