// The shader layer on a real GL context: errors and their texts, handles,
// the fixed-function fallback of an empty stage, matrix parameters, and the
// three shader files drawn into a framebuffer and read back.
#include "platform/cg/cgGL.h"

#include "platform/cg/CgCompiler.h"

#include "support/TestGLContext.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

const int size = 64;

TestGLContext* gl = nullptr;
CGcontext context = nullptr;

class GLEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        gl = new TestGLContext(size, size);
        ASSERT_TRUE(gl->valid());
        context = cgCreateContext();
        ASSERT_EQ(cgGetError(), CG_NO_ERROR);
        ASSERT_NE(context, nullptr);
    }
};

const auto* environment = ::testing::AddGlobalTestEnvironment(new GLEnvironment);

std::string shader(const std::string& name)
{
    return std::string(QUORVANE_SOURCE_DIR) + "/shaders/" + name;
}

// Writes a source into the test's working folder and returns its name.
std::string writeSource(const std::string& name, const std::string& text)
{
    std::ofstream(name, std::ios::binary) << text;
    return name;
}

CGprogram load(const std::string& file, CGprofile profile)
{
    CGprogram program = cgCreateProgramFromFile(context, CG_SOURCE, file.c_str(), profile, "main", nullptr);
    cgGLLoadProgram(program);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR) << file;
    return program;
}

using Pixel = std::array<int, 4>;

void resetState()
{
    gl->bindFramebuffer();
    glViewport(0, 0, size, size);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void fullQuad(float r = 0.0f)
{
    glBegin(GL_QUADS);
    glTexCoord3f(0, 0, r);
    glVertex2f(-1, -1);
    glTexCoord3f(1, 0, r);
    glVertex2f(1, -1);
    glTexCoord3f(1, 1, r);
    glVertex2f(1, 1);
    glTexCoord3f(0, 1, r);
    glVertex2f(-1, 1);
    glEnd();
}

} // namespace

TEST(CgErrors, SuccessLeavesNoErrorAndAFailureIsReportedOnce)
{
    EXPECT_EQ(cgGLGetLatestProfile(CG_GL_FRAGMENT), CG_PROFILE_GLSLF);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);

    EXPECT_EQ(cgGLGetLatestProfile(CG_GL_MODELVIEW_MATRIX), CG_PROFILE_UNKNOWN);
    EXPECT_EQ(cgGetError(), CG_INVALID_ENUMERANT_ERROR);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
}

TEST(CgErrors, MissingFileNamesTheFile)
{
    CGprogram program =
        cgCreateProgramFromFile(context, CG_SOURCE, "NoSuchShader.cg", CG_PROFILE_GLSLF, "main", nullptr);
    EXPECT_EQ(program, nullptr);
    const CGerror error = cgGetError();
    EXPECT_EQ(error, CG_FILE_READ_ERROR);
    EXPECT_NE(std::string(cgGetErrorString(error)).find("\"NoSuchShader.cg\""), std::string::npos)
        << cgGetErrorString(error);
}

TEST(CgErrors, DirectoryIsNotAShaderFile)
{
    EXPECT_EQ(cgCreateProgramFromFile(context, CG_SOURCE, ".", CG_PROFILE_GLSLF, "main", nullptr), nullptr);
    EXPECT_EQ(cgGetError(), CG_FILE_READ_ERROR);
}

TEST(CgErrors, SourceOfTheLargestSizeLoadsOneByteMoreIsRefused)
{
    std::string text = "#version 420 compatibility\nvoid main() { gl_FragColor = vec4(1.0); }\n//";
    text.resize(CgCompiler::maxSourceBytes - 1, 'x');
    text += '\n';
    const std::string largest = writeSource("Largest.cg", text);
    EXPECT_NE(cgCreateProgramFromFile(context, CG_SOURCE, largest.c_str(), CG_PROFILE_GLSLF, "main", nullptr), nullptr);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
    const std::string larger = writeSource("Larger.cg", text + "\n");
    EXPECT_EQ(cgCreateProgramFromFile(context, CG_SOURCE, larger.c_str(), CG_PROFILE_GLSLF, "main", nullptr), nullptr);
    EXPECT_EQ(cgGetError(), CG_FILE_READ_ERROR);
}

TEST(CgErrors, CompileFailureCarriesTheCompilerLog)
{
    const std::string file = writeSource("Broken.cg", "#version 420 compatibility\nvoid main() { gl_FragColor = "
                                                      "undeclaredThing; }\n");
    EXPECT_EQ(cgCreateProgramFromFile(context, CG_SOURCE, file.c_str(), CG_PROFILE_GLSLF, "main", nullptr), nullptr);
    const CGerror error = cgGetError();
    ASSERT_EQ(error, CG_COMPILER_ERROR);
    const std::string text = cgGetErrorString(error);
    EXPECT_NE(text.find("Broken.cg"), std::string::npos) << text;
    EXPECT_NE(text.find("undeclaredThing"), std::string::npos) << text;
}

// A source that compiled for one stage is compiled afresh for the other,
// where it fails: drivers that cache compiles by text must not be fooled.
TEST(CgErrors, SourceOfOneStageDoesNotPassForTheOther)
{
    load(shader("GlyphVertex.cg"), CG_PROFILE_GLSLV);
    EXPECT_EQ(cgCreateProgramFromFile(context, CG_SOURCE, shader("GlyphVertex.cg").c_str(), CG_PROFILE_GLSLF, "main",
                                      nullptr),
              nullptr);
    EXPECT_EQ(cgGetError(), CG_COMPILER_ERROR);
}

TEST(CgErrors, ArgumentsAreChecked)
{
    const std::string file = shader("GlyphFragment.cg");
    EXPECT_EQ(cgCreateProgramFromFile(nullptr, CG_SOURCE, file.c_str(), CG_PROFILE_GLSLF, "main", nullptr), nullptr);
    EXPECT_EQ(cgGetError(), CG_INVALID_CONTEXT_HANDLE_ERROR);
    EXPECT_EQ(cgCreateProgramFromFile(context, CG_UNKNOWN, file.c_str(), CG_PROFILE_GLSLF, "main", nullptr), nullptr);
    EXPECT_EQ(cgGetError(), CG_INVALID_ENUMERANT_ERROR);
    EXPECT_EQ(cgCreateProgramFromFile(context, CG_SOURCE, file.c_str(), CG_PROFILE_UNKNOWN, "main", nullptr), nullptr);
    EXPECT_EQ(cgGetError(), CG_INVALID_PROFILE_ERROR);
    EXPECT_EQ(cgCreateProgramFromFile(context, CG_SOURCE, file.c_str(), CG_PROFILE_GLSLF, "start", nullptr), nullptr);
    EXPECT_EQ(cgGetError(), CG_COMPILER_ERROR);

    // A handle of another kind, or junk, is refused without being used.
    int junk = 0;
    cgGLBindProgram(reinterpret_cast<CGprogram>(context));
    EXPECT_EQ(cgGetError(), CG_INVALID_PROGRAM_HANDLE_ERROR);
    cgGLSetStateMatrixParameter(reinterpret_cast<CGparameter>(&junk), CG_GL_MODELVIEW_PROJECTION_MATRIX,
                                CG_GL_MATRIX_IDENTITY);
    EXPECT_EQ(cgGetError(), CG_INVALID_PARAMETER_ERROR);
    cgGLEnableProfile(CG_PROFILE_UNKNOWN);
    EXPECT_EQ(cgGetError(), CG_INVALID_PROFILE_ERROR);
    cgSetParameterSettingMode(context, CG_SOURCE);
    EXPECT_EQ(cgGetError(), CG_INVALID_ENUMERANT_ERROR);
}

TEST(CgErrors, ProgramMustBeLoadedBeforeBinding)
{
    CGprogram program = cgCreateProgramFromFile(context, CG_SOURCE, shader("GlyphFragment.cg").c_str(),
                                                CG_PROFILE_GLSLF, "main", nullptr);
    ASSERT_EQ(cgGetError(), CG_NO_ERROR);
    cgGLBindProgram(program);
    EXPECT_EQ(cgGetError(), CG_PROGRAM_NOT_LOADED_ERROR);
    cgGLLoadProgram(program);
    cgGLEnableProfile(CG_PROFILE_GLSLF);
    cgGLBindProgram(program);
    cgGLUnbindProgram(CG_PROFILE_GLSLF);
    cgGLDisableProfile(CG_PROFILE_GLSLF);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
}

TEST(CgProfiles, NamesAndClasses)
{
    EXPECT_EQ(cgGLGetLatestProfile(CG_GL_VERTEX), CG_PROFILE_GLSLV);
    EXPECT_STREQ(cgGetProfileString(CG_PROFILE_GLSLV), "glslv");
    EXPECT_STREQ(cgGetProfileString(CG_PROFILE_GLSLF), "glslf");
    const char** options = cgGLGetOptimalOptions(CG_PROFILE_GLSLV);
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options[0], nullptr);
}

TEST(CgParameters, NamedLookup)
{
    CGprogram vertex = load(shader("GlyphVertex.cg"), CG_PROFILE_GLSLV);
    CGparameter matrix = cgGetNamedParameter(vertex, "modelViewProj");
    EXPECT_NE(matrix, nullptr);
    EXPECT_EQ(cgGetNamedParameter(vertex, "modelViewProj"), matrix);
    EXPECT_EQ(cgGetNamedParameter(vertex, "notThere"), nullptr);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
}

TEST(CgParameters, OnlyAMatrixTakesAStateMatrix)
{
    const std::string file = writeSource("Tint.cg", "#version 420 compatibility\nuniform float tint;\nvoid main() { "
                                                    "gl_FragColor = vec4(tint); }\n");
    CGparameter tint = cgGetNamedParameter(load(file, CG_PROFILE_GLSLF), "tint");
    ASSERT_NE(tint, nullptr);
    cgGLSetStateMatrixParameter(tint, CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_IDENTITY);
    EXPECT_EQ(cgGetError(), CG_INVALID_PARAMETER_ERROR);
}

// A stage without a program is fixed-function: a fragment program alone
// colours the quad, and after unbinding the vertex colour is back.
TEST(CgStages, EmptyStageIsFixedFunction)
{
    const std::string file = writeSource("Magenta.cg", "#version 420 compatibility\nvoid main() { gl_FragColor = "
                                                       "vec4(1.0, 0.0, 1.0, 1.0); }\n");
    CGprogram magenta = load(file, CG_PROFILE_GLSLF);
    resetState();
    glColor3f(0, 1, 0);

    cgGLEnableProfile(CG_PROFILE_GLSLF);
    cgGLBindProgram(magenta);
    fullQuad();
    EXPECT_EQ(gl->readPixels().pixel(10, 10), (Pixel{255, 0, 255, 255}));

    cgGLUnbindProgram(CG_PROFILE_GLSLF);
    cgGLDisableProfile(CG_PROFILE_GLSLF);
    fullQuad();
    EXPECT_EQ(gl->readPixels().pixel(10, 10), (Pixel{0, 255, 0, 255}));

    // Bound while its profile is disabled, a program stays out of the way.
    cgGLBindProgram(magenta);
    fullQuad();
    EXPECT_EQ(gl->readPixels().pixel(10, 10), (Pixel{0, 255, 0, 255}));
    cgGLUnbindProgram(CG_PROFILE_GLSLF);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
}

// Each GL context gets its own layer context; programs run in the context
// they were made in, whichever was made first.
TEST(CgStages, SecondGLContextRunsItsOwnPrograms)
{
    const std::string file = writeSource("Cyan.cg", "#version 420 compatibility\nvoid main() { gl_FragColor = "
                                                    "vec4(0.0, 1.0, 1.0, 1.0); }\n");
    {
        TestGLContext second(size, size);
        ASSERT_TRUE(second.valid());
        CGcontext other = cgCreateContext();
        CGprogram cyan = cgCreateProgramFromFile(other, CG_SOURCE, file.c_str(), CG_PROFILE_GLSLF, "main", nullptr);
        cgGLLoadProgram(cyan);
        ASSERT_EQ(cgGetError(), CG_NO_ERROR);
        glClear(GL_COLOR_BUFFER_BIT);
        cgGLEnableProfile(CG_PROFILE_GLSLF);
        cgGLBindProgram(cyan);
        fullQuad();
        cgGLUnbindProgram(CG_PROFILE_GLSLF);
        cgGLDisableProfile(CG_PROFILE_GLSLF);
        EXPECT_EQ(second.readPixels().pixel(10, 10), (Pixel{0, 255, 255, 255}));
    }

    gl->makeCurrent();
    CGprogram magenta = load(writeSource("Magenta2.cg", "#version 420 compatibility\nvoid main() { gl_FragColor = "
                                                        "vec4(1.0, 0.0, 1.0, 1.0); }\n"),
                             CG_PROFILE_GLSLF);
    resetState();
    cgGLEnableProfile(CG_PROFILE_GLSLF);
    cgGLBindProgram(magenta);
    fullQuad();
    cgGLUnbindProgram(CG_PROFILE_GLSLF);
    cgGLDisableProfile(CG_PROFILE_GLSLF);
    EXPECT_EQ(gl->readPixels().pixel(10, 10), (Pixel{255, 0, 255, 255}));
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
}

// The glyph vertex program places a point by "modelViewProj"; a new matrix
// set after binding moves the very next draw.
TEST(CgStages, MatrixParameterTakesEffectAtTheNextDraw)
{
    CGprogram vertex = load(shader("GlyphVertex.cg"), CG_PROFILE_GLSLV);
    CGparameter matrix = cgGetNamedParameter(vertex, "modelViewProj");
    ASSERT_NE(matrix, nullptr);
    resetState();
    glColor3f(1, 1, 1);
    glPointSize(5.0f);

    cgGLEnableProfile(CG_PROFILE_GLSLV);
    cgGLBindProgram(vertex);
    const float offsets[] = {-0.5f, 0.5f};
    for (float offset : offsets) {
        glClear(GL_COLOR_BUFFER_BIT);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(offset, 0.0f, 0.0f);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glScalef(1.0f, 0.5f, 1.0f);
        cgGLSetStateMatrixParameter(matrix, CG_GL_MODELVIEW_PROJECTION_MATRIX, CG_GL_MATRIX_IDENTITY);
        glBegin(GL_POINTS);
        glVertex3f(0.0f, 0.5f, 0.0f);
        glEnd();
        const Picture pixels = gl->readPixels();
        // x: (offset + 1) / 2 * 64; y: 0.25 up from the centre, top row first.
        const int x = static_cast<int>((offset + 1.0f) * 32.0f);
        EXPECT_EQ(pixels.pixel(x, 24)[0], 255) << offset;
        EXPECT_EQ(pixels.pixel(64 - x, 24)[0], 0) << offset;
        EXPECT_EQ(pixels.pixel(x, 16)[0], 0) << offset;
    }
    cgGLUnbindProgram(CG_PROFILE_GLSLV);
    cgGLDisableProfile(CG_PROFILE_GLSLV);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
}

TEST(CgMatrices, TransposeAndSingleMatrices)
{
    const std::string file = writeSource("Column.cg", "#version 420 compatibility\nuniform mat4 m;\nvoid main() { "
                                                      "gl_FragColor = m[3]; }\n");
    CGprogram program = load(file, CG_PROFILE_GLSLF);
    CGparameter m = cgGetNamedParameter(program, "m");
    ASSERT_NE(m, nullptr);
    resetState();
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(0.25f, 0.5f, 0.75f); // column 3 = (0.25, 0.5, 0.75, 1)
    cgGLSetStateMatrixParameter(m, CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_IDENTITY);
    glLoadIdentity();
    cgGLEnableProfile(CG_PROFILE_GLSLF);
    cgGLBindProgram(program);
    fullQuad();
    EXPECT_EQ(gl->readPixels().pixel(5, 5), (Pixel{64, 128, 191, 255}));

    // Transposed, the translation sits in the bottom row: column 3 is (0, 0, 0, 1).
    glTranslatef(0.25f, 0.5f, 0.75f);
    cgGLSetStateMatrixParameter(m, CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_TRANSPOSE);
    glLoadIdentity();
    fullQuad();
    EXPECT_EQ(gl->readPixels().pixel(5, 5), (Pixel{0, 0, 0, 255}));

    cgGLSetStateMatrixParameter(m, CG_GL_MODELVIEW_MATRIX, CG_GL_MATRIX_INVERSE);
    EXPECT_EQ(cgGetError(), CG_INVALID_ENUMERANT_ERROR);
    cgGLUnbindProgram(CG_PROFILE_GLSLF);
    cgGLDisableProfile(CG_PROFILE_GLSLF);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
}

TEST(CgMatrices, ModelViewProjectionIsProjectionTimesModelView)
{
    const std::string file = writeSource("ColumnMvp.cg", "#version 420 compatibility\nuniform mat4 m;\nvoid main() { "
                                                         "gl_FragColor = m[3]; }\n");
    CGprogram program = load(file, CG_PROFILE_GLSLF);
    CGparameter m = cgGetNamedParameter(program, "m");
    ASSERT_NE(m, nullptr);
    resetState();
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(0.25f, 0.5f, 0.75f);
    glMatrixMode(GL_PROJECTION);
    glScalef(2.0f, 1.0f, 1.0f);
    // Column 3 of P x M is P (0.25, 0.5, 0.75, 1); of M x P it would be M's own.
    cgGLSetStateMatrixParameter(m, CG_GL_MODELVIEW_PROJECTION_MATRIX, CG_GL_MATRIX_IDENTITY);
    resetState();
    cgGLEnableProfile(CG_PROFILE_GLSLF);
    cgGLBindProgram(program);
    fullQuad();
    EXPECT_EQ(gl->readPixels().pixel(5, 5), (Pixel{128, 128, 191, 255}));
    cgGLUnbindProgram(CG_PROFILE_GLSLF);
    cgGLDisableProfile(CG_PROFILE_GLSLF);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
}

// Each slice of a float layer texture holds known values; the transfer table
// encodes its own texel index, so the picture shows which texel was chosen.
TEST(TransferFragment, PicksTexelRoundedFromTheValueOnItsOwnSlice)
{
    const int width = 4;
    const int depth = 2;
    const std::vector<float> values = {0.0f,        1.0f,           0.5f,           1000.4f / 4095.0f,
                                       0.2f / 4095, 4094.6f / 4095, 3000.0f / 4095, 1.5f};
    const std::vector<int> expected = {0, 4095, 2048, 1000, 0, 4095, 3000, 4095};

    std::vector<unsigned char> table(4096 * 4);
    for (int i = 0; i < 4096; ++i) {
        table[static_cast<size_t>(i) * 4 + 0] = static_cast<unsigned char>(i & 255);
        table[static_cast<size_t>(i) * 4 + 1] = static_cast<unsigned char>(i >> 8);
        table[static_cast<size_t>(i) * 4 + 2] = 77;
        table[static_cast<size_t>(i) * 4 + 3] = static_cast<unsigned char>(255 - (i >> 4));
    }

    GLuint textures[2];
    glGenTextures(2, textures);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_3D, textures[0]);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage3D(GL_TEXTURE_3D, 0, GL_R32F, width, 1, depth, 0, GL_RED, GL_FLOAT, values.data());
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_1D, textures[1]);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA8, 4096, 0, GL_RGBA, GL_UNSIGNED_BYTE, table.data());

    CGprogram program = load(shader("TransferFragment.cg"), CG_PROFILE_GLSLF);
    resetState();
    cgGLEnableProfile(CG_PROFILE_GLSLF);
    cgGLBindProgram(program);
    for (int slice = 0; slice < depth; ++slice) {
        glClear(GL_COLOR_BUFFER_BIT);
        fullQuad((slice + 0.5f) / depth);
        const Picture pixels = gl->readPixels();
        for (int i = 0; i < width; ++i) {
            const int want = expected[static_cast<size_t>(slice * width + i)];
            // Texel column i covers x in [16 i, 16 i + 16); the picture's rows are all alike.
            const Pixel p = pixels.pixel(16 * i + 8, 32);
            EXPECT_EQ(p[0] + 256 * p[1], want) << "slice " << slice << " column " << i;
            EXPECT_EQ(p[2], 77);
            EXPECT_EQ(p[3], 255 - (want >> 4));
        }
    }
    cgGLUnbindProgram(CG_PROFILE_GLSLF);
    cgGLDisableProfile(CG_PROFILE_GLSLF);
    glDeleteTextures(2, textures);
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
}

// The arrow-head sprite of seven by six texels over a 42-pixel point: each
// texel covers 6 x 7 pixels. White texels come out opaque white, black ones
// leave the red background alone; row 0 is at the top.
TEST(GlyphFragment, WhiteTexelsOpaqueBlackOnesTransparent)
{
    const float sprite[6][7] = {{0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 1, 0, 0, 0}, {0, 0, 1, 1, 1, 0, 0},
                                {0, 1, 1, 1, 1, 1, 0}, {1, 1, 1, 1, 1, 1, 1}, {0, 0, 0, 0, 0, 0, 0}};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 7, 6, 0, GL_LUMINANCE, GL_FLOAT, sprite);

    CGprogram vertex = load(shader("GlyphVertex.cg"), CG_PROFILE_GLSLV);
    CGprogram fragment = load(shader("GlyphFragment.cg"), CG_PROFILE_GLSLF);
    resetState();
    glColor3f(1, 1, 1); // the point's colour tints the sprite
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_POINT_SPRITE);
    glTexEnvf(GL_POINT_SPRITE, GL_COORD_REPLACE, 1.0f);
    glPointSize(42.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    cgGLEnableProfile(CG_PROFILE_GLSLV);
    cgGLBindProgram(vertex);
    cgGLEnableProfile(CG_PROFILE_GLSLF);
    cgGLBindProgram(fragment);
    cgGLSetStateMatrixParameter(cgGetNamedParameter(vertex, "modelViewProj"), CG_GL_MODELVIEW_PROJECTION_MATRIX,
                                CG_GL_MATRIX_IDENTITY);
    glBegin(GL_POINTS);
    glVertex2f(0.0f, 0.0f);
    glEnd();
    cgGLUnbindProgram(CG_PROFILE_GLSLV);
    cgGLDisableProfile(CG_PROFILE_GLSLV);
    cgGLUnbindProgram(CG_PROFILE_GLSLF);
    cgGLDisableProfile(CG_PROFILE_GLSLF);
    glDisable(GL_POINT_SPRITE);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glDeleteTextures(1, &texture);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);

    const Picture pixels = gl->readPixels();
    const int left = 32 - 21;
    const int top = 32 - 21;
    for (int row = 0; row < 6; ++row) {
        for (int column = 0; column < 7; ++column) {
            const Pixel p = pixels.pixel(left + column * 6 + 3, top + row * 7 + 3);
            const Pixel want = sprite[row][column] > 0 ? Pixel{255, 255, 255, 255} : Pixel{255, 0, 0, 255};
            EXPECT_EQ(p, want) << "row " << row << " column " << column;
        }
    }
}
