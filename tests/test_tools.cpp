// The shader manager on real GLSL files: registration by name, the exact
// exception texts, the options message, parameter lookup, where shader files
// are found, and binding that really changes what is drawn.
#include "Tools/CGShaderManager.h"
#include "Tools/ShaderLocator.h"
#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "platform/cg/CgProfiles.h"

#include "support/LogRecorder.h"
#include "support/TestGLContext.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const int size = 32;
TestGLContext* gl = nullptr;

LogRecorder* recorder = nullptr;

class GLEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        gl = new TestGLContext(size, size);
        ASSERT_TRUE(gl->valid());
        recorder = new LogRecorder();
        recorder->listen();
        CGShaderManager::instance().initialise();
    }
};

const auto* environment = ::testing::AddGlobalTestEnvironment(new GLEnvironment);

CGShaderManager& manager()
{
    return CGShaderManager::instance();
}

std::string shader(const std::string& name)
{
    return std::string(QUORVANE_SOURCE_DIR) + "/shaders/" + name;
}

std::string writeSource(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

const char* const magentaSource = "#version 420 compatibility\nvoid main() { gl_FragColor = vec4(1.0, 0.0, 1.0, 1.0); "
                                  "}\n";

// Runs a call that must throw and returns the exception.
template <typename Call> Tool::Exception thrownBy(Call call)
{
    try {
        call();
    } catch (const Tool::Exception& exception) {
        return exception;
    }
    ADD_FAILURE() << "no exception";
    return Tool::Exception("", "", "", 0);
}

// Leaves an error pending in the shader layer, to see whether a later call
// consulted the layer at all.
void leavePendingError()
{
    cgGLGetLatestProfile(CG_GL_MATRIX_IDENTITY);
}

// Changes the current folder for one test and back.
class InFolder {
public:
    explicit InFolder(const fs::path& folder) : previous(fs::current_path()) { fs::current_path(folder); }
    ~InFolder() { fs::current_path(previous); }

private:
    fs::path previous;
};

fs::path freshFolder(const std::string& name)
{
    const fs::path folder = fs::temp_directory_path() / ("quorvane-tools-" + name + "-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

} // namespace

TEST(CGShaderManager, InitialiseMadeAContext)
{
    EXPECT_NE(manager().context, nullptr);
}

TEST(CGShaderManager, CreatesAndStoresTheRecord)
{
    const std::map<std::string, CGparameter> wanted = {{"modelViewProj", nullptr}, {"notDeclared", nullptr}};
    const ShaderProgram made =
        manager().createProgram("Vertex", CG_SOURCE, 0, shader("GlyphVertex.cg"), "main", wanted);
    EXPECT_EQ(made.name, "Vertex");
    EXPECT_EQ(made.kind, 0);
    EXPECT_EQ(made.profile, CG_PROFILE_GLSLV);
    EXPECT_NE(made.program, nullptr);
    ASSERT_EQ(made.parameters.size(), 2u);
    EXPECT_NE(made.parameters.at("modelViewProj"), nullptr);
    EXPECT_EQ(made.parameters.at("notDeclared"), nullptr);

    const ShaderProgram& stored = manager().programs.at("Vertex");
    EXPECT_EQ(stored.program, made.program);
    EXPECT_EQ(stored.profile, made.profile);
    EXPECT_EQ(stored.parameters, made.parameters);

    const ShaderProgram fragment =
        manager().createProgram("Fragment", CG_SOURCE, 1, shader("TransferFragment.cg"), "main", {});
    EXPECT_EQ(fragment.profile, CG_PROFILE_GLSLF);
    EXPECT_TRUE(fragment.parameters.empty());
}

TEST(CGShaderManager, DuplicateNameThrowsAndKeepsTheFirst)
{
    const ShaderProgram first = manager().createProgram("Twice", CG_SOURCE, 1, shader("GlyphFragment.cg"), "main", {});
    leavePendingError();
    const Tool::Exception e =
        thrownBy([] { manager().createProgram("Twice", CG_SOURCE, 0, shader("GlyphVertex.cg"), "main", {}); });
    EXPECT_EQ(e.source, "CGShaderManager::createProgram()");
    EXPECT_EQ(e.text, "Shader with name: \"Twice\" already exists");
    EXPECT_NE(e.file.find("CGShaderManager.cpp"), std::string::npos);
    EXPECT_GT(e.line, 0);
    // No call reached the layer: the earlier error is still pending.
    EXPECT_EQ(cgGetError(), CG_INVALID_ENUMERANT_ERROR);
    EXPECT_EQ(manager().programs.at("Twice").program, first.program);
    EXPECT_EQ(manager().programs.at("Twice").kind, 1);
}

TEST(CGShaderManager, UnknownNameOnBindAndUnbind)
{
    leavePendingError();
    Tool::Exception e = thrownBy([] { manager().bindProgram("Nobody"); });
    EXPECT_EQ(e.source, "CGShaderManager::bindProgram()");
    EXPECT_EQ(e.text, "Shader with name: \"Nobody\" doesn't exists");
    e = thrownBy([] { manager().unbindProgram("Nobody"); });
    EXPECT_EQ(e.source, "CGShaderManager::unbindProgram()");
    EXPECT_EQ(e.text, "Shader with name: \"Nobody\" doesn't exists");
    EXPECT_EQ(cgGetError(), CG_INVALID_ENUMERANT_ERROR);
    EXPECT_EQ(manager().programs.count("Nobody"), 0u);
}

TEST(CGShaderManager, MissingFileNamesItAndAddsNothing)
{
    const Tool::Exception e =
        thrownBy([] { manager().createProgram("Missing", CG_SOURCE, 1, "NoSuchShader.cg", "main", {}); });
    EXPECT_EQ(e.source, "CGShaderManager::createProgram()");
    EXPECT_NE(e.text.find("\"NoSuchShader.cg\""), std::string::npos) << e.text;
    EXPECT_EQ(manager().programs.count("Missing"), 0u);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
}

TEST(CGShaderManager, BrokenFileGivesTheCompilerLog)
{
    const std::string file = writeSource(fs::current_path() / "BrokenManager.cg",
                                         "#version 420 compatibility\nvoid main() { gl_FragColor = missingValue; }\n");
    const Tool::Exception e = thrownBy([&] { manager().createProgram("Broken", CG_SOURCE, 1, file, "main", {}); });
    EXPECT_EQ(e.source, "CGShaderManager::createProgram()");
    EXPECT_NE(e.text.find("BrokenManager.cg"), std::string::npos) << e.text;
    EXPECT_NE(e.text.find("missingValue"), std::string::npos) << e.text;
    EXPECT_EQ(manager().programs.count("Broken"), 0u);

    // A vertex source compiled for the fragment stage does not compile either.
    EXPECT_THROW(manager().createProgram("WrongStage", CG_SOURCE, 1, shader("GlyphVertex.cg"), "main", {}),
                 Tool::Exception);
    EXPECT_EQ(manager().programs.count("WrongStage"), 0u);
}

TEST(CGShaderManager, KindOtherThanVertexOrFragmentIsRefused)
{
    const Tool::Exception e =
        thrownBy([] { manager().createProgram("Geometry", CG_SOURCE, 2, shader("GlyphVertex.cg"), "main", {}); });
    EXPECT_EQ(e.source, "CGShaderManager::createProgram()");
    EXPECT_EQ(manager().programs.count("Geometry"), 0u);
}

TEST(CGShaderManager, OptimalOptionsAreReportedOnlyWhenThereAreSome)
{
    recorder->messages.clear();
    manager().createProgram("NoOptions", CG_SOURCE, 1, shader("GlyphFragment.cg"), "main", {});
    for (const Tool::Message& message : recorder->messages) {
        EXPECT_NE(message.text, "Optimal Options");
    }

    CgProfiles::setOptimalOptions(CG_PROFILE_GLSLF, {"-O3", "fastmath"});
    recorder->messages.clear();
    manager().createProgram("WithOptions", CG_SOURCE, 1, shader("GlyphFragment.cg"), "main", {});
    CgProfiles::setOptimalOptions(CG_PROFILE_GLSLF, {});
    ASSERT_EQ(recorder->messages.size(), 1u);
    const Tool::Message& message = recorder->messages.front();
    EXPECT_EQ(message.source, "CGShaderManager::createProgram(WithOptions)");
    EXPECT_EQ(message.text, "Optimal Options");
    EXPECT_EQ(message.details, "\n\t\t\t\"glslf\"\n\t\t\t-O3\n\t\t\tfastmath");
    EXPECT_EQ(message.level, 1);
}

// Binding puts the program in charge of the picture; unbinding gives the
// picture back to the fixed-function pipeline.
TEST(CGShaderManager, BindAndUnbindChangeWhatIsDrawn)
{
    const std::string file = writeSource(fs::current_path() / "MagentaManager.cg", magentaSource);
    manager().createProgram("Magenta", CG_SOURCE, 1, file, "main", {});
    auto centre = [] { return gl->readPixels().pixel(size / 2, size / 2); };
    auto quad = [] {
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(0, 1, 0);
        glRectf(-1, -1, 1, 1);
    };
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    manager().bindProgram("Magenta");
    quad();
    EXPECT_EQ(centre(), (std::array<int, 4>{255, 0, 255, 255}));
    manager().unbindProgram("Magenta");
    quad();
    EXPECT_EQ(centre(), (std::array<int, 4>{0, 255, 0, 255}));
}

TEST(ShaderLocator, CurrentFolderFirstThenTheBuildFolder)
{
    const fs::path folder = freshFolder("lookup");
    InFolder in(folder);

    // Not here: found where the build put it.
    const fs::path located = ShaderLocator::locate("GlyphVertex.cg");
    EXPECT_TRUE(located.is_absolute()) << located;
    EXPECT_EQ(located.filename(), "GlyphVertex.cg");
    EXPECT_TRUE(fs::is_regular_file(located)) << located;
    const ShaderProgram found =
        manager().createProgram("FromBuild", CG_SOURCE, 0, "GlyphVertex.cg", "main", {{"modelViewProj", nullptr}});
    EXPECT_NE(found.parameters.at("modelViewProj"), nullptr);

    // Here: the local file wins, broken or not.
    writeSource(folder / "GlyphVertex.cg", "#version 420 compatibility\nvoid main() { local file }\n");
    EXPECT_EQ(ShaderLocator::locate("GlyphVertex.cg"), "GlyphVertex.cg");
    EXPECT_THROW(manager().createProgram("FromHere", CG_SOURCE, 0, "GlyphVertex.cg", "main", {}), Tool::Exception);

    fs::remove_all(folder);
}

TEST(ShaderLocator, TheProgramFolderComesBeforeTheBuildFolder)
{
    const fs::path programFolder = fs::read_symlink("/proc/self/exe").parent_path();
    const fs::path buildFolder = fs::path(ShaderLocator::locate("GlyphVertex.cg")).parent_path();
    ASSERT_NE(programFolder, buildFolder);
    // Not in the current folder, which would come first.
    const fs::path folder = freshFolder("order");
    InFolder in(folder);
    const std::string name = "Lookup" + std::to_string(getpid()) + ".cg";
    writeSource(buildFolder / name, "build folder");
    EXPECT_EQ(ShaderLocator::locate(name), (buildFolder / name).string());
    writeSource(programFolder / name, "program folder");
    EXPECT_EQ(ShaderLocator::locate(name), (programFolder / name).string());
    fs::remove(buildFolder / name);
    fs::remove(programFolder / name);
    fs::remove_all(folder);
}

TEST(ShaderLocator, UnknownAndAbsoluteNamesComeBackUnchanged)
{
    EXPECT_EQ(ShaderLocator::locate("NoSuchShader.cg"), "NoSuchShader.cg");
    EXPECT_EQ(ShaderLocator::locate("/no/such/GlyphVertex.cg"), "/no/such/GlyphVertex.cg");
    EXPECT_EQ(ShaderLocator::locate(""), "");
}
