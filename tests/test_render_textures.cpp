// The textures and lists the OpenGL control makes from a data set, within
// its budgets and limits.
#include "RenderTest.h"
#include "render/FrameTextures.h"
#include "render/UnormTexels.h"
#include "render/VolumeTextures.h"

namespace {

TEST_F(RenderTest, ReloadingReleasesTheOldTexturesAndMakesOnePerFrameAndLayer)
{
    Grid first{3, 3, 2};
    first.frames = 2;
    first.layers = 1;
    show(first);
    drawEveryFrameAndLayer(first);
    const std::vector<unsigned> made = control().textures().names();
    std::set<unsigned> old(made.begin(), made.end());
    ASSERT_EQ(old.size(), 2u + 1u * 2u);

    control().loadTransferTexture(Transferfunction());
    const unsigned transferName = control().sceneObjects().transferTexture;
    control().currentFrame = 1;
    control().currentLayer = 0;
    Grid second{5, 4, 3};
    second.frames = 3;
    second.layers = 2;
    auto keep = std::move(data);
    show(second);
    EXPECT_EQ(control().currentFrame, 0u);
    // Textures are made as frames are drawn.
    EXPECT_TRUE(control().textures().names().empty());
    drawEveryFrameAndLayer(second);
    const std::vector<unsigned> remade = control().textures().names();
    std::set<unsigned> now(remade.begin(), remade.end());
    EXPECT_EQ(now.size(), 3u + 2u * 3u);
    for (unsigned name : now) {
        EXPECT_TRUE(glIsTexture(name));
    }
    for (unsigned name : old) {
        if (!now.count(name)) {
            EXPECT_FALSE(glIsTexture(name)) << "texture " << name << " was not released";
        }
    }
    // The transfer and glyph textures stay.
    EXPECT_EQ(control().sceneObjects().transferTexture, transferName);
    EXPECT_TRUE(glIsTexture(transferName));
    EXPECT_TRUE(glIsTexture(control().sceneObjects().glyphTexture));
    // The new textures have the new shape.
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_3D, control().textures().layerTexture(1, 2));
    GLint w = 0, h = 0, d = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_HEIGHT, &h);
    glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_DEPTH, &d);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 4);
    EXPECT_EQ(d, 3);
}

TEST_F(RenderTest, ChangingFrameOrLayerUploadsNothing)
{
    Grid g{4, 4, 1};
    g.frames = 2;
    g.layers = 2;
    g.vector = [](int f, uint32_t, uint32_t, uint32_t) { return f == 0 ? Vec3{{1, 0, 0}} : Vec3{{0, 1, 0}}; };
    show(g);
    const int centre = viewSize / 2;
    // Each frame's texture is made when it is first drawn.
    control().currentFrame = 1;
    expectColour(render(control()), centre, centre, {{0, 255, 0}});
    control().currentFrame = 0;
    expectColour(render(control()), centre, centre, {{255, 0, 0}});
    const auto names = [&] {
        const std::vector<unsigned> all = control().textures().names();
        return std::set<unsigned>(all.begin(), all.end());
    };
    const std::set<unsigned> vectors = names();
    // Repaint frame 1's texture behind the control's back: if switching to
    // frame 1 uploaded the data again, the picture would be green.
    const std::vector<float> blue(4 * 4 * 3, 0.0f);
    std::vector<float> texels(blue);
    for (size_t n = 2; n < texels.size(); n += 3) {
        texels[n] = 1.0f;
    }
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_3D, control().textures().vectorTexture(1));
    glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, 4, 4, 1, GL_RGB, GL_FLOAT, texels.data());
    control().currentFrame = 1;
    expectColour(render(control()), centre, centre, {{0, 0, 255}});
    EXPECT_EQ(names(), vectors);

    // The same for layers: every value is 0, and layer 1's texture of frame 1
    // now holds 1 everywhere; an upload on the switch would show red again.
    control().loadTransferTexture(
        transfer({{0.0f, ColorRGB(255, 0, 0)}, {1.0f, ColorRGB(0, 255, 0)}}, {{0.0f, 1.0f}, {1.0f, 1.0f}}));
    control().showLayer = true;
    control().currentLayer = 1;
    expectColour(render(control()), centre, centre, {{255, 0, 0}});
    control().currentLayer = 0;
    expectColour(render(control()), centre, centre, {{255, 0, 0}});
    const std::set<unsigned> layers = names();
    const std::vector<float> ones(4 * 4, 1.0f);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_3D, control().textures().layerTexture(1, 1));
    glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, 4, 4, 1, GL_RED, GL_FLOAT, ones.data());
    control().currentLayer = 1;
    expectColour(render(control()), centre, centre, {{0, 255, 0}});
    EXPECT_EQ(names(), layers);
}

TEST_F(RenderTest, AfterAFailedLoadThePreviousPictureStays)
{
    Grid g{4, 4, 1};
    g.vector = [](int, uint32_t i, uint32_t j, uint32_t) { return Vec3{{float(i) / 3, float(j) / 3, 0.5f}}; };
    show(g);
    control().showGlyphs = true;
    const Picture before = render(control());
    // A failed load empties the data set the control points to.
    data->positions.clear();
    data->frames.clear();
    data->size = {{0, 0, 0}};
    const Picture after = render(control());
    EXPECT_EQ(before.rgba, after.rgba);
}

TEST_F(RenderTest, FramesBeyondTheBudgetsShowAsWithRoomForAllAndACutFrameKeepsTheLastPicture)
{
    namespace fs = boost::filesystem;
    const fs::path folder = fs::temp_directory_path() / fs::unique_path("quorvane-render-%%%%-%%%%");
    fs::create_directories(folder);
    FlowGenerator::Settings settings;
    settings.size = {{16, 16, 2}};
    settings.layers = 1;
    settings.frames = 3;
    std::string error;
    ASSERT_TRUE(FlowWriter::write((folder / "v").string(), FlowGenerator(settings), error)) << error;
    NoProgress progress;
    auto all = std::make_unique<FlowData>();
    ASSERT_NO_THROW(all->load((folder / "v.gri").string(), progress));
    control().setFlowData(all.get());
    std::vector<Picture> expected;
    for (uint32_t f = 0; f < 4; ++f) {
        control().currentFrame = f;
        expected.push_back(render(control()));
    }
    // Room for one decoded frame (512 nodes of 4 floats) and two vector textures.
    MemoryBudget::setProcessLimit(4 * 8192);
    data = std::make_unique<FlowData>();
    ASSERT_NO_THROW(data->load((folder / "v.gri").string(), progress));
    control().setFlowData(data.get());
    MemoryBudget::setProcessLimit(0);
    for (uint32_t f : {3, 0, 2, 1, 3}) {
        control().currentFrame = f;
        EXPECT_EQ(render(control()).rgba, expected[f].rgba) << "frame " << f;
        EXPECT_LE(control().textures().names().size(), 2u);
    }

    fs::resize_file(folder / "v_002.dat", 8);
    control().currentFrame = 2;
    EXPECT_EQ(render(control()).rgba, expected[3].rgba);
    const Tool::Message& failure = Tool::Logger::instance().history.back();
    EXPECT_EQ(failure.text, "Creating vector textures .. [FAILED]");
    EXPECT_EQ(failure.details,
              "Couldn't read " + (folder / "v_002.dat").string() + ": the file is shorter than the grid needs");
    control().setFlowData(nullptr);
    fs::remove_all(folder);
}

// Four frames of 4 x 4 x 1 nodes with one layer: a vector texture takes 64
// bytes, a layer texture 32.
std::unique_ptr<FlowData> fourSmallFrames()
{
    Grid g{4, 4, 1};
    g.frames = 4;
    g.layers = 1;
    return g.build();
}

// A texture marked behind the cache's back loses its mark when it is made again.
constexpr GLubyte mark = 200;

void setMark(unsigned int name)
{
    const std::vector<GLubyte> texels(4 * 4 * 4, mark);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_3D, name);
    glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, 4, 4, 1, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
}

bool marked(unsigned int name)
{
    std::vector<GLubyte> texels(4 * 4 * 4);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_3D, name);
    glGetTexImage(GL_TEXTURE_3D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texels[0] == mark;
}

TEST_F(RenderTest, TheTextureCacheKeepsTheMostRecentlyUsedAndEvictsTheLeast)
{
    data = fourSmallFrames();
    FrameTextures textures;
    textures.reset(data.get(), 2 * 64);
    setMark(textures.vectorTexture(0));
    setMark(textures.vectorTexture(1));
    textures.vectorTexture(0);
    textures.vectorTexture(2);
    EXPECT_TRUE(marked(textures.vectorTexture(0))) << "used after frame 1";
    EXPECT_FALSE(marked(textures.vectorTexture(1)));
    textures.reset(nullptr, 0);
}

TEST_F(RenderTest, ATextureOverTheBudgetEvictsAtOnce)
{
    data = fourSmallFrames();
    FrameTextures textures;
    textures.reset(data.get(), 2 * 64);
    const unsigned int first = textures.vectorTexture(0);
    textures.vectorTexture(1);
    textures.vectorTexture(0);
    // Nothing can go before frame 1's layer is made: frame 0 is on show and
    // frame 1 is its own. Made, it takes the cache over the budget.
    textures.layerTexture(0, 1);
    EXPECT_EQ(textures.names().size(), 2u);
    EXPECT_FALSE(glIsTexture(first));
    textures.reset(nullptr, 0);
}

TEST_F(RenderTest, AVectorTexelCountsFourBytesAndALayerTexelTwo)
{
    data = fourSmallFrames();
    FrameTextures textures;
    textures.reset(data.get(), 3 * 64);
    for (uint32_t f = 0; f < 4; ++f) {
        textures.vectorTexture(f);
    }
    EXPECT_EQ(textures.names().size(), 3u);
    textures.reset(data.get(), 3 * 32);
    for (uint32_t f = 0; f < 4; ++f) {
        textures.layerTexture(0, f);
    }
    EXPECT_EQ(textures.names().size(), 3u);
    textures.reset(nullptr, 0);
}

TEST_F(RenderTest, ATextureThatCannotBeMadeIsLoggedOnce)
{
    data = fourSmallFrames();
    data->frames[1].vectors.resize(3);
    control().setFlowData(data.get());
    control().currentFrame = 1;
    const std::deque<Tool::Message>& history = Tool::Logger::instance().history;
    const std::size_t before = history.size();
    for (int paint = 0; paint < 3; ++paint) {
        render(control());
    }
    EXPECT_EQ(std::count_if(history.begin() + long(before), history.end(),
                            [](const Tool::Message& m) { return m.text == "Creating vector textures .. [FAILED]"; }),
              1);
}

TEST_F(RenderTest, TheFrameShownKeepsNoMoreLayerTexturesThanTheBudgetHolds)
{
    Grid g{4, 4, 2};
    g.layers = 20;
    show(g);
    // Room for four layer textures of 32 texels at two bytes.
    control().textures().reset(data.get(), 4 * 64);
    for (uint32_t l = 0; l < 20; ++l) {
        EXPECT_NE(control().textures().layerTexture(l, 0), 0u) << "layer " << l;
        EXPECT_LE(control().textures().names().size(), 4u) << "layer " << l;
    }
}

TEST_F(RenderTest, ADataSetBeyondTheTextureLimitIsLoggedAndTheViewStaysUsable)
{
    GLint largest = 0;
    glGetIntegerv(GL_MAX_3D_TEXTURE_SIZE, &largest);
    Grid g{uint32_t(largest) + 1, 2, 1};
    g.layers = 1;
    show(g);
    bool vectorsLogged = false, layersLogged = false;
    for (const Tool::Message& m : Tool::Logger::instance().history) {
        vectorsLogged |= m.text == "Creating vector textures .. [FAILED]";
        layersLogged |= m.text == "Creating layer textures .. [FAILED]";
    }
    EXPECT_TRUE(vectorsLogged);
    EXPECT_TRUE(layersLogged);
    control().showAxes = true;
    const Picture vectors = render(control());
    control().showLayer = true;
    control().showGlyphs = true;
    render(control());
    EXPECT_TRUE(control().textures().names().empty());
    control().showWireframe = true;
    render(control());
    // The axes are still drawn.
    const auto xEnd = project(control(), {{0.6f, 0, 0}}, vectors.width, vectors.height, false);
    EXPECT_TRUE(vectors.at(int(xEnd[0]), int(xEnd[1]))[0] == 255 ||
                vectors.at(int(xEnd[0]), int(xEnd[1]) - 1)[0] == 255);

    // Too deep for a texture: nothing to fill, so no list per slice, and the
    // wireframe still shows the cells.
    data = Grid{2, 2, uint32_t(largest) + 1}.build();
    // All slices at one depth, so that their cells are as wide as the view.
    for (size_t n = 2; n < data->positions.size(); n += 3) {
        data->positions[n] = 0.0f;
    }
    control().setFlowData(data.get());
    EXPECT_EQ(control().sceneObjects().sliceCount, 0);
    control().showAxes = false;
    control().showGlyphs = false;
    const Picture cells = render(control());
    EXPECT_NE(control().wireframeGrid().buffer, 0u);
    int edgePixels = 0;
    for (int y = 0; y < cells.height; ++y) {
        for (int x = 0; x < cells.width; ++x) {
            edgePixels += cells.bright(x, y);
        }
    }
    EXPECT_GT(edgePixels, 0);

    // Layers and frames beyond what the driver could hold at once: only what
    // is drawn is made.
    Grid many{2, 2, 1};
    many.layers = 256;
    many.frames = 257;
    show(many);
    control().showWireframe = false;
    control().showLayer = true;
    control().currentLayer = 255;
    control().currentFrame = 256;
    render(control());
    EXPECT_EQ(control().textures().names().size(), 1u);
}

TEST_F(RenderTest, TheWireframeIsMadeWhenFirstShownFromNoMoreThanThePositions)
{
    show(Grid{5, 4, 3});
    render(control());
    EXPECT_FALSE(control().wireframeGrid().made());
    control().showWireframe = true;
    render(control());
    ASSERT_NE(control().wireframeGrid().buffer, 0u);
    GLint bytes = 0;
    glBindBuffer(GL_ARRAY_BUFFER, control().wireframeGrid().buffer);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &bytes);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    EXPECT_EQ(size_t(bytes), data->positions.size() * sizeof(float));
}

TEST_F(RenderTest, ShortDataIsRefusedWithoutReadingPastIt)
{
    Grid g{4, 4, 2};
    g.frames = 2;
    g.layers = 1;
    auto bad = g.build();
    bad->frames[1].vectors.resize(5);
    bad->frames[1].layers[0].values.resize(3);
    data = std::move(bad);
    control().setFlowData(data.get());
    control().currentFrame = 1;
    render(control());
    EXPECT_EQ(Tool::Logger::instance().history.back().source, "FrameTextures::vectorTexture()");
    control().showLayer = true;
    render(control());
    EXPECT_EQ(Tool::Logger::instance().history.back().source, "FrameTextures::layerTexture()");
    EXPECT_TRUE(control().textures().names().empty());
    control().showLayer = false;

    // Too few node positions: no lists, rather than those of the last set.
    auto shortGrid = g.build();
    shortGrid->positions.resize(shortGrid->positions.size() - 1);
    control().setFlowData(shortGrid.get());
    EXPECT_EQ(control().sceneObjects().glyphPointList, 0u);
    EXPECT_EQ(control().sceneObjects().sliceCount, 0);
    bool logged = false;
    for (const Tool::Message& m : Tool::Logger::instance().history) {
        logged |= m.source == "COpenGLControl::buildGridList()" && m.text == "Building grid list .. [FAILED]";
    }
    EXPECT_TRUE(logged);
    control().showWireframe = true;
    control().showGlyphs = true;
    render(control());
    EXPECT_EQ(control().wireframeGrid().buffer, 0u);

    // A data set without frames leaves no lists either.
    data = g.build();
    control().setFlowData(data.get());
    render(control());
    ASSERT_NE(control().wireframeGrid().buffer, 0u);
    auto empty = std::make_unique<FlowData>();
    control().setFlowData(empty.get());
    EXPECT_EQ(control().wireframeGrid().buffer, 0u);
    EXPECT_EQ(control().sceneObjects().glyphPointList, 0u);
    render(control());
    data = std::move(empty);
}

// The upload converts floats itself; GL's own conversion of the same floats,
// read back, must give the same texels.
TEST_F(RenderTest, TexelsConvertedForUploadEqualGLsOwnConversion)
{
    std::vector<float> values = {-1.0f, -0.0f, 0.0f, 1.0f, 1.5f, 1e30f, -1e30f, NAN, INFINITY, -INFINITY};
    const auto aroundTies = [&values](int largest, int step) {
        for (int k = 0; k < largest; k += step) {
            const float tie = (float(k) + 0.5f) / float(largest);
            values.insert(values.end(),
                          {float(k) / float(largest), tie, std::nextafter(tie, 0.0f), std::nextafter(tie, 1.0f)});
        }
    };
    aroundTies(255, 1);
    aroundTies(65535, 97);
    // Rows of 63 texels: unpadded 16-bit rows, and counts that are not a
    // multiple of the four texels converted at once.
    values.resize(((values.size() + 377) / 378 * 2 + 1) * 189, 0.25f);
    const std::array<uint32_t, 3> rgbSize{{63, uint32_t(values.size() / 189), 1}};
    const std::array<uint32_t, 3> redSize{{63, uint32_t(values.size() / 63), 1}};
    const auto readBack = [](GLuint name, GLenum format, GLenum type, std::size_t bytes) {
        std::vector<unsigned char> texels(bytes);
        glBindTexture(GL_TEXTURE_3D, name);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_3D, 0, format, type, texels.data());
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glDeleteTextures(1, &name);
        return texels;
    };
    const auto uploadFloats = [&](GLint internalFormat, GLenum format, const std::array<uint32_t, 3>& size) {
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_3D, name);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage3D(GL_TEXTURE_3D, 0, internalFormat, GLsizei(size[0]), GLsizei(size[1]), 1, 0, format, GL_FLOAT,
                     values.data());
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        return name;
    };

    GLuint ours = 0;
    glGenTextures(1, &ours);
    ASSERT_TRUE(allocateVolume(ours, GL_RGBA8, GL_RGBA, rgbSize));
    std::vector<uint8_t> rgba(4 * values.size() / 3);
    toUnorm8Rgba(values.data(), values.size() / 3, rgba.data());
    ASSERT_TRUE(fillVolume(ours, GL_RGBA, GL_UNSIGNED_BYTE, rgbSize, rgba.data()));
    EXPECT_EQ(readBack(ours, GL_RGB, GL_UNSIGNED_BYTE, values.size()),
              readBack(uploadFloats(GL_RGB8, GL_RGB, rgbSize), GL_RGB, GL_UNSIGNED_BYTE, values.size()));

    glGenTextures(1, &ours);
    ASSERT_TRUE(allocateVolume(ours, GL_R16, GL_RED, redSize));
    std::vector<uint16_t> red(values.size());
    toUnorm16(values.data(), values.size(), red.data());
    ASSERT_TRUE(fillVolume(ours, GL_RED, GL_UNSIGNED_SHORT, redSize, red.data()));
    EXPECT_EQ(readBack(ours, GL_RED, GL_UNSIGNED_SHORT, 2 * values.size()),
              readBack(uploadFloats(GL_R16, GL_RED, redSize), GL_RED, GL_UNSIGNED_SHORT, 2 * values.size()));
}

} // namespace
