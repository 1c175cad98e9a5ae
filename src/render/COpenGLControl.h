#pragma once

#include "Tools/ShaderProgram.h"
#include "render/CurvedSliceCells.h"
#include "render/FrameTextures.h"
#include "render/GlyphPoints.h"
#include "render/SpeedColorBar.h"
#include "render/StreamlineRenderer.h"
#include "render/WindowMessages.h"
#include "render/WireframeGrid.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class FlowData;
class GLSurface;
class QRect;
class QWidget;
class Transferfunction;

// The drawing window: owns the rendering context (through its surface), the
// shader-program records, the textures and display lists made from the data
// set, and the camera. Every change that alters the picture ends with
// Invalidate(); the picture is drawn only in OnPaint(). Before oglCreate the
// calls that need GL do nothing, while the camera and size bookkeeping runs.
//
// GL object names are held as unsigned int (GLuint) so that this header
// needs no GL header: Qt files include it too.
class COpenGLControl {
public:
    COpenGLControl();
    // Frees only memory; GL objects and the context live until the process ends.
    ~COpenGLControl();
    COpenGLControl(const COpenGLControl&) = delete;
    COpenGLControl& operator=(const COpenGLControl&) = delete;

    // Creates the GL window in a container widget, a child of parent placed at
    // rect, and initialises GL, the shader programs and the fixed scene.
    void oglCreate(const QRect& rect, QWidget* parent);
    // The widget that hosts the GL window, for the dialog's layout.
    QWidget* container() const { return containerWidget; }

    // Asks the window for a paint; never paints directly.
    void Invalidate();

    // Takes a newly loaded data set: textures, grid and glyph-point lists.
    void setFlowData(FlowData* data);
    // While the data set shown is unloaded and loaded again, nothing may read
    // it: suspendDrawing stops the work that reads its frames in the
    // background, and paints draw nothing until resumeDrawing, which asks
    // for one. The main dialog brackets every load with them.
    void suspendDrawing();
    void resumeDrawing();
    void loadTransferTexture(const Transferfunction& tf);
    void resetCamera();

    // Window-message handlers; the main dialog forwards its own to them too.
    void OnPaint();
    void OnSize(unsigned nType, int cx, int cy);
    void OnMouseMove(unsigned nFlags, int x, int y);
    void OnMouseHWheel(unsigned nFlags, short zDelta, int x, int y);

    // Draws the current view once into an off-screen buffer of the client
    // size and returns it as RGBA8, top row first. False without a context.
    bool renderPixels(std::vector<unsigned char>& rgba, int& width, int& height);
    // Waits for the streamlines of the current frame when they are shown, so
    // that the next paint has them.
    void waitForStreamlines();
    // Draws the current view for a picture of width x height pixels into the
    // bound framebuffer; the window's viewport and projection come back after.
    // Returns why the current frame's data could not be drawn (the window's
    // last picture of it stood in), empty when it was.
    std::string paintAt(int width, int height);
    bool hasContext() const { return surface != nullptr && contextReady; }

    // The window and its rendering context; not owned. oglCreate makes one;
    // a window made elsewhere (a test's) can be given instead.
    GLSurface* window() const { return surface; }
    void setWindow(GLSurface* window) { surface = window; }
    // The data set drawn, as last given to setFlowData; not owned.
    const FlowData* data() const { return flowData; }

    // The GL objects made for the scene, for checks from outside; 0 is none.
    struct SceneObjects {
        unsigned int axesList, glyphPointList, glyphTexture, transferTexture;
        int sliceCount;
    };
    SceneObjects sceneObjects() const;
    // The data textures, made when first asked for; for checks and for
    // benchmarks that draw with them.
    FrameTextures& textures() { return frameTextures; }
    const WireframeGrid& wireframeGrid() const { return wireframe; }
    // The control's copy of the glyph vertex program's record.
    const ShaderProgram& glyphVertexProgram() const { return glyphVertex; }

    // The camera, moved by the mouse handlers and resetCamera.
    float zoom = 1.0f;
    float scale = 10.0f;
    float lastMouseX = 0.0f, lastMouseY = 0.0f;
    float panX = 0.0f, panY = 0.0f, panZ = -10.0f;
    float rotX = 0.0f, rotY = 0.0f; // degrees

    // Drawing flags and indices, set by the dialogs, which then Invalidate().
    bool showAxes = true;
    bool showWireframe = false;
    bool showLayer = false;
    bool showGlyphs = false;
    bool showStreamlines = false;
    uint32_t currentFrame = 0;
    uint32_t currentLayer = 0;

private:
    // Steps of creation and of the data hand-over; they need the context.
    void oglInitialize();
    void updateProjection();
    void buildAxesList();
    void createGlyphTexture();
    void buildGridList();
    void buildGlyphPointList(int columns, int rows);
    void deleteSliceLists();
    void applyCamera();

    void paintScene();
    // Each pass runs after its setUp step, which sets every piece of GL state
    // the pass depends on.
    void setUpAxesPass();
    void setUpWireframePass();
    void setUpVectorPass(unsigned int texture);
    void setUpLayerPass(unsigned int texture);
    void setUpStreamlinePass();
    void setUpGlyphPass();
    void useTextures(unsigned int target, unsigned int texture, bool transfer);
    void useFixedFunction();
    void vectorPass();
    void layerPass();
    void glyphPass();
    void callSlicesBackToFront();
    void project(int width, int height);

    GLSurface* surface = nullptr;
    unsigned int axesList = 0;
    // The cell edges, made when the wireframe is first shown.
    WireframeGrid wireframe;
    unsigned int transferTexture = 0;
    unsigned int glyphPointList = 0;
    unsigned int glyphTexture = 0;
    // The 3-D data textures, per frame and made when first drawn:
    // frameTextures.vectorTexture(frame), frameTextures.layerTexture(layer, frame).
    FrameTextures frameTextures;
    FlowData* flowData = nullptr; // not owned
    ShaderProgram transferFragment;
    ShaderProgram glyphVertex;
    ShaderProgram glyphFragment;
    bool firstSize = true;

    // The filled passes draw one list per z-slice where the slice is flat and
    // evenly spaced (a single quad), and the cells of curved slices from
    // buffers, farthest first.
    unsigned int sliceLists = 0; // first of sliceCount consecutive lists
    int sliceCount = 0;
    std::vector<std::array<float, 3>> sliceCentre; // mean normalised position of each slice
    CurvedSliceCells curvedCells;

    GlyphPoints glyphPoints;
    StreamlineRenderer streamlines;
    SpeedColorBar colourBar;
    QWidget* containerWidget = nullptr; // owned by the parent widget
    bool contextReady = false;
    std::string standIn; // of the last paint, as paintAt returns it
    bool suspended = false;
};
