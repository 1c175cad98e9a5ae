#include "UiTest.h"

#include "diagnostics/Logger.h"
#include "support/DataSetBuilder.h"
#include "support/TestApplication.h"
#include "transfer/PresetManager.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <filesystem>
#include <unistd.h>

CQuorvaneApp& application()
{
    return TestApplication::instance<CQuorvaneApp>([](int& argc, char** argv) {
        auto* created = new CQuorvaneApp(argc, argv);
        PresetManager& presets = PresetManager::getInstance();
        presets.getPreset("warm");
        presets.getPreset("cold");
        presets.save();
        return created;
    });
}

std::string currentFolder()
{
    char here[4096];
    return getcwd(here, sizeof here) ? here : ".";
}

std::string writeDataSet(const std::string& stem, int headerFrames, size_t frameFiles, float timestep,
                         const std::vector<std::array<float, 3>>& frameVectors,
                         const std::function<std::array<float, 3>(int i)>& columnVector)
{
    const std::string folder = currentFolder() + "/" + stem;
    std::filesystem::create_directories(folder);
    DataSetBuilder set{4, 3, 2};
    set.frames = int(frameFiles);
    set.layers = 2;
    set.position = [](uint32_t i, uint32_t j, uint32_t k) {
        return DataSetBuilder::Vec3{{float(i) / 3.0f, float(j) / 2.0f, float(k) * 0.5f}};
    };
    set.vector = [&](int f, uint32_t i, uint32_t, uint32_t) {
        if (columnVector) {
            return columnVector(int(i));
        }
        return size_t(f) < frameVectors.size() ? frameVectors[size_t(f)] : DataSetBuilder::Vec3{{1, 0, 0}};
    };
    set.value = [](int f, int l, uint32_t i, uint32_t j, uint32_t k) {
        const uint32_t n = i + 4 * (j + 3 * k);
        return l == 0 ? float(n + uint32_t(f)) : float(2 * n);
    };
    return set.write(folder + "/" + stem, headerFrames, timestep);
}

long findLog(const std::string& prefix, size_t from)
{
    const auto& history = Tool::Logger::instance().history;
    for (size_t i = from; i < history.size(); ++i) {
        if (history[i].text.rfind(prefix, 0) == 0) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

bool claimMainDialog()
{
    static bool claimed = false;
    const bool first = !claimed;
    claimed = true;
    return first;
}

QAction* item(CQuorvaneDlg& dialog, const char* id)
{
    return dialog.menu->findChild<QAction*>(id);
}

QPushButton* button(QWidget& dialog, const char* id)
{
    return dialog.findChild<QPushButton*>(id);
}

QLabel* frameLabel(PlayerDialog* player)
{
    return player->findChild<QLabel*>("1014");
}

QSlider* frameSlider(PlayerDialog* player)
{
    return player->findChild<QSlider*>("1012");
}

QTimer* playTimer(PlayerDialog* player)
{
    return player->findChild<QTimer*>("playTimer");
}

void tick(PlayerDialog* player)
{
    QMetaObject::invokeMethod(playTimer(player), "timeout");
}
