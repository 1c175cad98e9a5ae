#include "PresetsFuzzEntry.h"
#include "diagnostics/Logger.h"
#include "support/TestFiles.h"
#include "transfer/PresetArchive.h"
#include "transfer/PresetManager.h"
#include "transfer/Transferfunction.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <deque>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using ColorPoint = Transferfunction::ColorPoint;
using AlphaPoint = Transferfunction::AlphaPoint;

const ColorRGB black(0, 0, 0);
const ColorRGB red(255, 0, 0);

} // namespace
// The preset store, each test in a fresh current directory.

class PresetStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quorvane-presets-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        previous = fs::current_path();
        fs::current_path(folder);
        store().preset.clear();
        store().load(); // no file here: forgets any earlier unreadable file
        Tool::Logger::instance().enabled = true;
        Tool::Logger::instance().history.clear();
    }

    void TearDown() override
    {
        fs::current_path(previous);
        fs::remove_all(folder);
        store().preset.clear();
    }

    static PresetManager& store() { return PresetManager::getInstance(); }

    static std::string failureLine(const std::string& prefix)
    {
        for (const Tool::Message& message : Tool::Logger::instance().history) {
            if (message.text.rfind(prefix, 0) == 0 && message.text.find("[FAILED]") != std::string::npos) {
                return message.text + " | " + message.details;
            }
        }
        return std::string();
    }

    static std::vector<std::string> folderEntries()
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(".")) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder;
    fs::path previous;
};

TEST_F(PresetStore, NoFileMeansNoPresets)
{
    store().load();
    EXPECT_EQ(store().getPresetCount(), 0u);
    EXPECT_TRUE(store().getPresetNames().empty());
    EXPECT_TRUE(Tool::Logger::instance().history.empty());
}

TEST_F(PresetStore, GetCreatesAndHasNever)
{
    EXPECT_FALSE(store().hasPreset("Fire"));
    EXPECT_EQ(store().getPresetCount(), 0u);
    Transferfunction& fire = store().getPreset("Fire");
    EXPECT_EQ(fire, Transferfunction());
    EXPECT_EQ(store().getPresetCount(), 1u);
    EXPECT_TRUE(store().hasPreset("Fire"));
    EXPECT_FALSE(store().hasPreset("fire"));
    EXPECT_EQ(store().getPresetCount(), 1u);
    fire.setColor(0.5f, red);
    EXPECT_EQ(store().getPreset("Fire").color.size(), 3u);
}

TEST_F(PresetStore, SaveAndLoadRoundTrip)
{
    Transferfunction edited;
    edited.setColor(1.0f / 4096, ColorRGB(12, 34, 56));
    edited.setColor(4095.0f / 4096, red);
    edited.setAlpha(2049.0f / 4096, 0.3f);
    edited.setAlpha(0.0f, 0.123456789f);
    store().getPreset("fire") = edited;
    store().getPreset("Fire") = Transferfunction();
    store().getPreset("a <name> & \"quotes\"") = edited;
    store().getPreset(" spaced\tand\nbroken ");
    store().getPreset("");
    store().save();
    ASSERT_TRUE(fs::exists(PresetManager::fileName));

    const auto saved = store().preset;
    store().preset.clear();
    store().load();
    EXPECT_EQ(store().preset, saved);
    EXPECT_EQ(store().getPresetNames(),
              (std::vector<std::string>{"", " spaced\tand\nbroken ", "Fire", "a <name> & \"quotes\"", "fire"}));
    EXPECT_EQ(store().getPreset("fire"), edited);
    EXPECT_TRUE(failureLine("").empty());
    EXPECT_EQ(folderEntries(), std::vector<std::string>{PresetManager::fileName});
}

TEST_F(PresetStore, FileHasTheDocumentedStructure)
{
    store().getPreset("Default");
    store().save();
    const std::string text = TestFiles::read(PresetManager::fileName);
    const char* order[] = {"<boost_serialization signature=\"serialization::archive\"",
                           "<this class_id=\"0\" tracking_level=\"1\" version=\"0\" object_id=\"_0\">",
                           "<preset class_id=\"1\" tracking_level=\"0\" version=\"0\">",
                           "<count>1</count>",
                           "<item_version>0</item_version>",
                           "<first>Default</first>",
                           "<color class_id=\"4\" tracking_level=\"0\" version=\"0\">",
                           "<count>2</count>",
                           "<r>0</r>",
                           "<r>255</r>",
                           "<alpha class_id=\"7\"",
                           "</this>",
                           "</boost_serialization>"};
    std::size_t at = 0;
    for (const char* piece : order) {
        const std::size_t found = text.find(piece, at);
        ASSERT_NE(found, std::string::npos) << piece << "\n" << text;
        at = found;
    }
}

TEST_F(PresetStore, SavingAgainReplacesOrAdds)
{
    store().getPreset("b");
    store().save();
    store().getPreset("b").setColor(0.5f, red);
    store().save();
    store().preset.clear();
    store().load();
    EXPECT_EQ(store().getPresetCount(), 1u);
    EXPECT_EQ(store().getPreset("b").color.size(), 3u);

    store().getPreset("a");
    store().save();
    store().preset.clear();
    store().load();
    EXPECT_EQ(store().getPresetNames(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(PresetStore, LoadReplacesTheWholeStore)
{
    store().getPreset("on disk");
    store().save();
    store().preset.clear();
    store().getPreset("only in memory");
    store().load();
    EXPECT_EQ(store().getPresetNames(), std::vector<std::string>{"on disk"});
}

const char* const version6File = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes" ?>
<!DOCTYPE boost_serialization>
<boost_serialization signature="serialization::archive" version="6">
<this class_id="0" tracking_level="1" version="0" object_id="_0">
<preset class_id="1" tracking_level="0" version="0">
<count>2</count>
<item_version>0</item_version>
<item class_id="2" tracking_level="0" version="0">
<first>Fire</first>
<second class_id="3" tracking_level="0" version="0">
<color class_id="4" tracking_level="0" version="0">
<count>3</count>
<item_version>0</item_version>
<item class_id="5" tracking_level="0" version="0">
<first>0</first>
<second class_id="6" tracking_level="0" version="0"><r>0</r><g>0</g><b>0</b></second>
</item>
<item><first>0.5</first><second><r>255</r><g>64</g><b>0</b></second></item>
<item><first>1</first><second><r>255</r><g>255</g><b>128</b></second></item>
</color>
<alpha class_id="7" tracking_level="0" version="0">
<count>3</count>
<item_version>0</item_version>
<item class_id="8" tracking_level="0" version="0"><first>0</first><second>0</second></item>
<item><first>0.00024414062</first><second>0.30000001</second></item>
<item><first>1</first><second>1</second></item>
</alpha>
</second>
</item>
<item>
<first>fire &amp; ice</first>
<second>
<color><count>2</count><item_version>0</item_version>
<item><first>0</first><second><r>0</r><g>0</g><b>255</b></second></item>
<item><first>1</first><second><r>255</r><g>0</g><b>0</b></second></item>
</color>
<alpha><count>2</count><item_version>0</item_version>
<item><first>0</first><second>0.5</second></item>
<item><first>1</first><second>0.75</second></item>
</alpha>
</second>
</item>
</preset>
</this>
</boost_serialization>
)";

TEST_F(PresetStore, LoadsAFileOfArchiveVersion6)
{
    TestFiles::write(PresetManager::fileName, version6File);
    store().load();
    ASSERT_EQ(store().getPresetNames(), (std::vector<std::string>{"Fire", "fire & ice"}));
    const Transferfunction& fire = store().getPreset("Fire");
    EXPECT_EQ(fire.color,
              (std::deque<ColorPoint>{{0.0f, black}, {0.5f, ColorRGB(255, 64, 0)}, {1.0f, ColorRGB(255, 255, 128)}}));
    EXPECT_EQ(fire.alpha, (std::deque<AlphaPoint>{{0.0f, 0.0f}, {1.0f / 4096, 0.3f}, {1.0f, 1.0f}}));
    EXPECT_EQ(store().getPreset("fire & ice").alpha, (std::deque<AlphaPoint>{{0.0f, 0.5f}, {1.0f, 0.75f}}));
    EXPECT_TRUE(failureLine("").empty());
}

TEST_F(PresetStore, MissingClosingTagsDoNotEndTheProcess)
{
    std::string text = version6File;
    const std::string rootEnd = "</boost_serialization>\n";
    text.erase(text.find(rootEnd));
    TestFiles::write(PresetManager::fileName, text);
    store().load();
    EXPECT_EQ(store().getPresetCount(), 2u);

    // Without the object's own end tag the root's is taken for it.
    text = version6File;
    const std::string thisEnd = "</this>\n";
    text.erase(text.find(thisEnd), thisEnd.size());
    TestFiles::write(PresetManager::fileName, text);
    store().preset.clear();
    store().load();
    EXPECT_EQ(store().getPresetCount(), 2u);
}

TEST_F(PresetStore, ImpossibleCountsAreRejectedBeforeAllocating)
{
    const std::string good = version6File;
    const std::string counted = "<count>3</count>";
    for (const std::string count : {"4000000000", "-1", "18446744073709551615", "1000000"}) {
        SCOPED_TRACE(count);
        std::string text = good;
        text.replace(text.find(counted), counted.size(), "<count>" + count + "</count>");
        TestFiles::write(PresetManager::fileName, text);
        Tool::Logger::instance().history.clear();
        store().load();
        EXPECT_EQ(store().getPresetCount(), 0u);
        const std::string line = failureLine("Reading presets file \"Brindlemoor.presets\"");
        EXPECT_NE(line.find("exceeds the size of the file"), std::string::npos) << line;
    }
    // The map's count too.
    std::string text = good;
    text.replace(text.find("<count>2</count>"), 16, "<count>4000000000</count>");
    TestFiles::write(PresetManager::fileName, text);
    store().load();
    EXPECT_EQ(store().getPresetCount(), 0u);
}

TEST_F(PresetStore, UnreadableFilesAreLoggedAndKept)
{
    const std::string good = version6File;
    const std::vector<std::string> bad = {
        "",
        "not xml at all",
        good.substr(0, good.size() / 2),                                                     // truncated
        std::string(version6File).replace(good.find("version=\"6\""), 11, "version=\"99\""), // newer archive
        std::string(version6File).replace(good.find("<r>255</r>"), 10, "<r>x</r>"),          // wrong value
        std::string(version6File).replace(good.find("<first>0.5</first>"), 18, "<first>nan</first>"),
        std::string(version6File).replace(good.find("<item_version>0</item_version>"), 30, ""), // structure
        std::string(version6File).replace(good.find("version=\"0\""), 11, "version=\"3\""),     // newer class
        std::string(version6File).replace(good.find("</r>"), 4, "</item_version>"),             // end tag mismatch
        std::string(version6File).replace(good.find("</first>"), 8, "</" + std::string(100, 'f') + ">"),
    };
    for (std::size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(i);
        TestFiles::write(PresetManager::fileName, bad[i]);
        Tool::Logger::instance().history.clear();
        store().preset.clear();
        store().load();
        EXPECT_EQ(store().getPresetCount(), 0u);
        const std::string line = failureLine("Reading presets file \"Brindlemoor.presets\"");
        EXPECT_FALSE(line.empty());
        // Not the stale errno the library would append ("No such file ...").
        if (i == 0 || i == 2) {
            EXPECT_NE(line.find("ends early"), std::string::npos) << line;
        }
        EXPECT_EQ(TestFiles::read(PresetManager::fileName), bad[i]);
    }
}

TEST_F(PresetStore, TooBigAndNonRegularFilesAreRejected)
{
    {
        std::ofstream(PresetManager::fileName) << version6File;
    }
    fs::resize_file(PresetManager::fileName, 17 * 1024 * 1024);
    store().load();
    EXPECT_EQ(store().getPresetCount(), 0u);
    EXPECT_NE(failureLine("Reading").find("larger than 16 MiB"), std::string::npos);

    fs::remove(PresetManager::fileName);
    fs::create_directory(PresetManager::fileName);
    Tool::Logger::instance().history.clear();
    store().load();
    EXPECT_NE(failureLine("Reading").find("not a regular file"), std::string::npos);

    // Opening a pipe must not wait for a writer.
    fs::remove(PresetManager::fileName);
    ASSERT_EQ(::mkfifo(PresetManager::fileName, 0600), 0);
    Tool::Logger::instance().history.clear();
    store().load();
    EXPECT_NE(failureLine("Reading").find("not a regular file"), std::string::npos);
}

TEST_F(PresetStore, FirstSaveAfterAnUnreadableFileMovesItAside)
{
    TestFiles::write(PresetManager::fileName, "garbage 1");
    store().load();
    store().getPreset("new");
    store().save();
    EXPECT_EQ(TestFiles::read("Brindlemoor.presets.bak"), "garbage 1");
    store().preset.clear();
    store().load();
    EXPECT_EQ(store().getPresetNames(), std::vector<std::string>{"new"});

    // Only the first save moves the file; later ones replace the readable file.
    store().getPreset("newer");
    store().save();
    EXPECT_EQ(folderEntries(), (std::vector<std::string>{"Brindlemoor.presets", "Brindlemoor.presets.bak"}));

    // An earlier backup is not overwritten either.
    TestFiles::write(PresetManager::fileName, "garbage 2");
    store().load();
    store().save();
    EXPECT_EQ(TestFiles::read("Brindlemoor.presets.bak"), "garbage 1");
    EXPECT_EQ(TestFiles::read("Brindlemoor.presets.bak.1"), "garbage 2");
}

TEST_F(PresetStore, NonFiniteValuesAreNeverWritten)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Transferfunction& tf = store().getPreset("odd");
    tf.setAlpha(0.5f, nan);
    tf.setAlpha(0.25f, inf);
    tf.alpha.push_back({-inf, 0.5f});
    store().save();
    const std::string text = TestFiles::read(PresetManager::fileName);
    EXPECT_EQ(text.find("nan"), std::string::npos);
    EXPECT_EQ(text.find("inf"), std::string::npos);
    store().preset.clear();
    store().load();
    ASSERT_EQ(store().getPresetCount(), 1u);
    EXPECT_EQ(store().getPreset("odd").alpha,
              (std::deque<AlphaPoint>{{0.0f, 0.0f}, {0.25f, 1.0f}, {0.5f, 0.0f}, {1.0f, 1.0f}, {0.0f, 0.5f}}));
}

TEST_F(PresetStore, SaveKeepsPermissionsAndLeavesNoTemporaryFile)
{
    store().getPreset("x");
    store().save();
    // Not what a new temporary file gets.
    ASSERT_EQ(::chmod(PresetManager::fileName, 0640), 0);
    store().getPreset("y");
    store().save();
    struct stat status;
    ASSERT_EQ(::stat(PresetManager::fileName, &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    EXPECT_EQ(folderEntries(), std::vector<std::string>{PresetManager::fileName});
}

TEST_F(PresetStore, SaveThroughASymbolicLinkReplacesItsTarget)
{
    fs::create_directory("elsewhere");
    TestFiles::write("elsewhere/mine.presets", "old");
    fs::create_symlink("elsewhere/mine.presets", PresetManager::fileName);
    store().getPreset("linked");
    store().save();
    EXPECT_TRUE(fs::is_symlink(PresetManager::fileName));
    store().preset.clear();
    store().load();
    EXPECT_EQ(store().getPresetNames(), std::vector<std::string>{"linked"});
    EXPECT_NE(TestFiles::read("elsewhere/mine.presets"), "old");
}

TEST_F(PresetStore, FailedWriteKeepsTheOldFile)
{
    store().getPreset("kept");
    store().save();
    const std::string before = TestFiles::read(PresetManager::fileName);

    // A file size limit makes writing fail the way a full disk does.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        store().getPreset("lost");
        store().save();
        _exit(failureLine("Writing presets file \"Brindlemoor.presets\"").empty() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure was not logged";
    EXPECT_EQ(TestFiles::read(PresetManager::fileName), before);
    EXPECT_EQ(folderEntries(), std::vector<std::string>{PresetManager::fileName});
}

TEST_F(PresetStore, SaveRefusesWhatLoadWouldRefuse)
{
    store().getPreset("kept");
    store().save();
    const std::string before = TestFiles::read(PresetManager::fileName);
    // Written as "&amp;", the name alone is larger than any file load reads.
    store().getPreset(std::string(PresetManager::maxFileSize / 5 + 1, '&'));
    store().save();
    EXPECT_NE(failureLine("Writing presets file").find("more than 16 MiB"), std::string::npos);
    EXPECT_EQ(TestFiles::read(PresetManager::fileName), before);
}

TEST_F(PresetStore, SaveRemovesOnlyStaleTemporaryFilesOfItsOwn)
{
    const std::vector<std::string> names = {"Brindlemoor.presets.a1B2c3", "Brindlemoor.presets.backup",
                                            "Brindlemoor.presets.a1B2c", "Other.presets.a1B2c3"};
    for (const std::string& name : names) {
        TestFiles::write(name, "left behind");
        fs::last_write_time(name, fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    TestFiles::write("Brindlemoor.presets.Fresh1", "another save right now");
    store().getPreset("x");
    store().save();
    EXPECT_EQ(folderEntries(), (std::vector<std::string>{"Brindlemoor.presets", "Brindlemoor.presets.Fresh1",
                                                         "Brindlemoor.presets.a1B2c", "Brindlemoor.presets.backup",
                                                         "Other.presets.a1B2c3"}));
}

TEST_F(PresetStore, ReadOnlyFileIsNotReplaced)
{
    TestFiles::write(PresetManager::fileName, "mine");
    ::chmod(PresetManager::fileName, 0444);
    store().getPreset("x");
    store().save();
    EXPECT_NE(failureLine("Writing presets file").find("read-only"), std::string::npos);
    EXPECT_EQ(TestFiles::read(PresetManager::fileName), "mine");
}

TEST_F(PresetStore, MissingFileLeavesTheStoreAsItWas)
{
    store().getPreset("unsaved").setAlpha(0.5f, 0.25f);
    const Transferfunction before = store().getPreset("unsaved");
    store().load();
    EXPECT_EQ(store().getPresetNames(), std::vector<std::string>{"unsaved"});
    EXPECT_EQ(store().getPreset("unsaved"), before);
}

// Every corpus file and every crash input the fuzzer found goes through the
// fuzzer's own entry.
TEST(PresetsFuzzCorpus, ReplaysEveryInput)
{
    const fs::path root = fs::path(QUORVANE_SOURCE_DIR) / "fuzz";
    std::size_t replayed = 0;
    for (const char* folder : {"corpus", "crashes"}) {
        if (!fs::is_directory(root / folder / "presets")) {
            continue;
        }
        for (const auto& file : fs::recursive_directory_iterator(root / folder / "presets")) {
            if (!file.is_regular_file()) {
                continue;
            }
            SCOPED_TRACE(file.path().string());
            const std::string data = TestFiles::read(file.path().string());
            EXPECT_EQ(presetsFuzzOneInput(reinterpret_cast<const uint8_t*>(data.data()), data.size()), 0);
            ++replayed;
        }
    }
    EXPECT_GE(replayed, 3u);
}
