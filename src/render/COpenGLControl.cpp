#include "render/COpenGLControl.h"

#include "Tools/CGShaderManager.h"
#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "diagnostics/ThreadStart.h"
#include "flowdata/FlowData.h"
#include "flowdata/MemoryBudget.h"
#include "flowdata/Parallel.h"
#include "render/GLErrorCheck.h"
#include "render/GLSurface.h"
#include "render/GlyphPoints.h"
#include "render/GridGeometry.h"
#include "render/OffscreenTarget.h"
#include "render/SliceOrder.h"
#include "render/SliceQuads.h"
#include "transfer/Transferfunction.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {
const char* const controller = "COpenGLController";

} // namespace

// Lines traced in the background ask for a paint when they are ready.
COpenGLControl::COpenGLControl()
    : streamlines([this] {
          if (surface) {
              surface->requestUpdateFromAnyThread();
          }
      })
{
}

COpenGLControl::~COpenGLControl() = default;

void COpenGLControl::oglCreate(const QRect& rect, QWidget* parent)
{
    surface = GLSurface::createHosted(*this, rect, parent, containerWidget);
    // Window creation runs the initialisation, as it does on creation of a
    // native child window.
    oglInitialize();
    Tool::log("COpenGLControl::oglCreate()", "Creating OpenGL Context .. [OK]");
}

void COpenGLControl::oglInitialize()
{
    std::string reason;
    if (!surface || !surface->createContext(reason)) {
        if (!surface) {
            reason = "no window";
        }
        Tool::log("COpenGLControl::oglInitialize()", "Creating OpenGL Context .. [Failed]",
                  std::to_string(errno) + ": " + reason);
        std::exit(1);
    }
    contextReady = true;

    CGShaderManager& shaders = CGShaderManager::instance();
    shaders.initialise();
    Tool::log(controller, "CG-ShaderManger initialised .. [OK]");
    transferFragment = shaders.createProgram("TransferFragment", CG_SOURCE, 1, "TransferFragment.cg", "main", {});
    Tool::log(controller, "TransferShader loaded .. [OK]");
    glyphFragment = shaders.createProgram("GlyphFragment", CG_SOURCE, 1, "GlyphFragment.cg", "main", {});
    glyphVertex =
        shaders.createProgram("GlyphVertex", CG_SOURCE, 0, "GlyphVertex.cg", "main", {{"modelViewProj", nullptr}});
    Tool::log(controller, "GlyphShaders loaded .. [OK]");

    glewInit();
    Tool::log(controller, "Glew initialised .. [OK]");

    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glFrontFace(GL_CCW);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_LIGHTING);

    updateProjection();
    buildAxesList();
    createGlyphTexture();
    Tool::log("COpenGLControl::oglInitialize()", "Initialising OpenGL .. [OK]");
}

void COpenGLControl::updateProjection()
{
    if (hasContext()) {
        project(surface->pixelWidth(), surface->pixelHeight());
    }
}

void COpenGLControl::project(int w, int h)
{
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // A window without height has no aspect; keep the matrix finite.
    const float aspect = (w > 0 && h > 0) ? float(w) / float(h) : 1.0f;
    gluPerspective(35.0, aspect, 1.0, 200.0);
}

void COpenGLControl::buildAxesList()
{
    if (glIsList(axesList)) {
        glDeleteLists(axesList, 1);
    }
    axesList = glGenLists(1);
    glNewList(axesList, GL_COMPILE);
    glBegin(GL_LINES);
    glColor3f(1, 0, 0);
    glVertex3f(-1, 0, 0);
    glVertex3f(1, 0, 0);
    glColor3f(0, 1, 0);
    glVertex3f(0, -1, 0);
    glVertex3f(0, 1, 0);
    glColor3f(0, 0, 1);
    glVertex3f(0, 0, -1);
    glVertex3f(0, 0, 1);
    glEnd();
    glEndList();
}

void COpenGLControl::createGlyphTexture()
{
    // An arrow head, apex in row 1, base in row 4; row 0 is t = 0.
    static const float sprite[6][7] = {
        {0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 1, 0, 0, 0}, {0, 0, 1, 1, 1, 0, 0},
        {0, 1, 1, 1, 1, 1, 0}, {1, 1, 1, 1, 1, 1, 1}, {0, 0, 0, 0, 0, 0, 0},
    };
    glGenTextures(1, &glyphTexture);
    glBindTexture(GL_TEXTURE_2D, glyphTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 7, 6, 0, GL_LUMINANCE, GL_FLOAT, sprite);
}

COpenGLControl::SceneObjects COpenGLControl::sceneObjects() const
{
    return {axesList, glyphPointList, glyphTexture, transferTexture, sliceCount};
}

void COpenGLControl::Invalidate()
{
    if (surface) {
        surface->requestUpdate();
    }
}

bool COpenGLControl::renderPixels(std::vector<unsigned char>& rgba, int& width, int& height)
{
    if (!hasContext() || suspended) {
        return false;
    }
    const int w = surface->pixelWidth();
    const int h = surface->pixelHeight();
    // A picture for keeping shows the lines of its own frame.
    waitForStreamlines();
    OffscreenTarget target(w, h);
    if (!target.complete()) {
        return false;
    }
    paintAt(w, h);
    target.read(rgba);
    width = w;
    height = h;
    return true;
}

void COpenGLControl::waitForStreamlines()
{
    if (!showStreamlines || !flowData) {
        return;
    }
    streamlines.ask(*flowData, currentFrame);
    streamlines.wait();
}

std::string COpenGLControl::paintAt(int width, int height)
{
    if (!hasContext()) {
        return "no OpenGL context";
    }
    project(width, height);
    paintScene();
    updateProjection();
    return standIn;
}

void COpenGLControl::loadTransferTexture(const Transferfunction& tf)
{
    if (!hasContext()) {
        return;
    }
    glActiveTexture(GL_TEXTURE1);
    glDisable(GL_TEXTURE_1D);
    if (glIsTexture(transferTexture)) {
        glDeleteTextures(1, &transferTexture);
    }
    glGenTextures(1, &transferTexture);
    glBindTexture(GL_TEXTURE_1D, transferTexture);
    const auto table = tf.buildRGBATable();
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_R, GL_CLAMP);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA, 4096, 0, GL_RGBA, GL_UNSIGNED_BYTE, table.data());
    glDisable(GL_TEXTURE_1D);
    Tool::log(controller, "OpenGL Transfer Texture loaded .. [OK]");
}

void COpenGLControl::setFlowData(FlowData* data)
{
    currentFrame = 0;
    currentLayer = 0;
    flowData = data;
    streamlines.reset();
    if (data) {
        colourBar.setRange(data->speedMin, data->speedMax);
    }
    if (hasContext()) {
        frameTextures.reset(flowData, MemoryBudget::textureBudget());
    }
    glyphPoints.forgetFailures();
    buildGridList();
    buildGlyphPointList(20, 2);
    updateProjection();
    Invalidate();
}

void COpenGLControl::suspendDrawing()
{
    suspended = true;
    streamlines.reset();
}

void COpenGLControl::resumeDrawing()
{
    suspended = false;
    Invalidate();
}

void COpenGLControl::deleteSliceLists()
{
    if (sliceCount > 0 && glIsList(sliceLists)) {
        glDeleteLists(sliceLists, sliceCount);
    }
    sliceLists = 0;
    sliceCount = 0;
    sliceCentre.clear();
    curvedCells.release();
}

// The filled passes draw one list per flat slice and the curved slices' cells
// from buffers.
void COpenGLControl::buildGridList()
{
    if (!hasContext()) {
        return;
    }
    // The old lists go first: a grid that cannot be built shows nothing
    // rather than the previous data set's shape.
    deleteSliceLists();
    wireframe.release();
    const std::array<uint32_t, 3>* size = flowData ? flowData->getSize() : nullptr;
    if (!size) {
        return;
    }
    const GridGeometry grid(flowData->positions, *size);
    if (!grid.valid()) {
        Tool::log("COpenGLControl::buildGridList()", "Building grid list .. [FAILED]",
                  "the grid holds fewer node positions than its size asks for");
        return;
    }
    const uint32_t Z = (*size)[2];
    // Slice lists serve the filled passes, which need a texture and cells with
    // an area. Without them none is made: thousands of lists would only slow
    // the hand-over, as each new list costs the driver more the more lists it
    // already holds.
    const bool filled = (*size)[0] >= 2 && (*size)[1] >= 2 && frameTextures.canFill();
    if (filled) {
        sliceLists = glGenLists(GLsizei(Z));
        if (sliceLists == 0) {
            Tool::log("COpenGLControl::buildGridList()", "Building grid list .. [FAILED]",
                      "OpenGL gave no names for " + std::to_string(Z) + " slice lists");
            return;
        }
        sliceCount = int(Z);
        // Each slice's shape is looked at on every core; GL is called here only.
        sliceCentre.resize(Z);
        std::vector<char> flat(Z);
        parallelFor(Z, [&](unsigned, std::size_t k) {
            sliceCentre[k] = grid.sliceCentre(uint32_t(k));
            flat[k] = grid.sliceIsFlat(uint32_t(k));
        });
        std::vector<uint32_t> curved;
        for (uint32_t k = 0; k < Z; ++k) {
            if (!flat[k]) {
                curved.push_back(k);
                continue;
            }
            glNewList(sliceLists + k, GL_COMPILE);
            glColor3f(1, 1, 1);
            glBegin(GL_QUADS);
            emitSliceQuad(grid, k);
            glEnd();
            glEndList();
        }
        std::string problem;
        if (!curvedCells.build(grid, curved, problem)) {
            Tool::log("COpenGLControl::buildGridList()", "Building grid list .. [FAILED]", problem);
        }
    }
}

void COpenGLControl::buildGlyphPointList(int columns, int rows)
{
    if (hasContext()) {
        glyphPoints.build(glyphPointList, flowData, columns, rows, currentFrame);
    }
}

void COpenGLControl::applyCamera()
{
    if (!hasContext()) {
        return;
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(panX, panY, panZ * zoom);
    glRotatef(rotX, 1, 0, 0);
    glRotatef(rotY, 0, 1, 0);
}

void COpenGLControl::resetCamera()
{
    zoom = 1.0f;
    scale = 10.0f;
    updateProjection();
    panX = 0;
    panY = 0;
    panZ = -10.0f;
    rotX = 0;
    rotY = 0;
    Invalidate();
}

void COpenGLControl::OnPaint()
{
    if (!hasContext() || suspended) {
        return;
    }
    // A paint that fails is logged; the window goes on with what it drew.
    try {
        paintScene();
    } catch (const Tool::Exception& e) {
        Tool::Logger::instance().log(e.toMessage());
    } catch (const std::exception& e) {
        Tool::log("COpenGLControl::OnPaint()", "Painting .. [FAILED]", Tool::reasonOf(e));
    }
    surface->swapBuffers();
}

// State a paint leaves behind on purpose. No pass relies on it: each one's
// setUp step sets what the pass needs.
// - Texture unit 0 active. After glyphs, the sprite stays bound and enabled
//   on unit 0's 2-D target, with point-sprite coordinate replacement on;
//   after a layer, the transfer texture stays bound to unit 1's 1-D target.
//   No other target is enabled.
// - Blending, once the layer or glyph pass enabled it, stays enabled with
//   (source alpha, one minus source alpha) on colour and destination alpha
//   kept. The axes, the wireframe, the vector pass and the streamlines draw
//   with opacity 1, on which it has no effect.
// - Polygon mode line after a wireframe without glyphs, fill otherwise.
// - No program bound; depth test and depth writes on; model-view matrix mode.
// Outside a paint, loadTransferTexture leaves unit 1 active, and the data
// hand-over leaves data textures bound on the active unit.
void COpenGLControl::paintScene()
{
    GLErrorCheck::after("calls before the paint");
    standIn.clear();
    // glClear obeys the depth mask.
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    applyCamera();
    if (showAxes) {
        setUpAxesPass();
        glCallList(axesList);
        GLErrorCheck::after("axes pass");
    }
    // Only the presence of a data set is tested: after a failed load it is
    // empty, and the textures and lists made for the previous one are shown.
    if (!flowData) {
        return;
    }
    glScalef(scale, scale, scale);
    if (showWireframe) {
        setUpWireframePass();
        // After a failed load the positions are gone: only a wireframe made
        // before can show.
        const std::array<uint32_t, 3>* size = flowData->getSize();
        if (!wireframe.made() && size) {
            wireframe.make(GridGeometry(flowData->positions, *size));
        }
        wireframe.draw();
        GLErrorCheck::after("wireframe pass");
    } else if (showLayer) {
        layerPass();
        GLErrorCheck::after("layer pass");
    } else {
        vectorPass();
        GLErrorCheck::after("vector pass");
    }
    if (showStreamlines) {
        streamlines.ask(*flowData, currentFrame);
        setUpStreamlinePass();
        streamlines.draw();
        GLErrorCheck::after("streamline pass");
    }
    if (showGlyphs) {
        glyphPass();
        GLErrorCheck::after("glyph pass");
    }
    if (showGlyphs || showStreamlines) {
        // The bar sets its own projection, depth test, blending and targets.
        useFixedFunction();
        useTextures(0, 0, false);
        colourBar.draw(*surface);
        GLErrorCheck::after("colour bar pass");
    }
}

// Fixed-function drawing: neither stage runs a program.
void COpenGLControl::useFixedFunction()
{
    for (CGprofile profile : {glyphVertex.profile, glyphFragment.profile}) {
        cgGLUnbindProgram(profile);
        cgGLDisableProfile(profile);
    }
}

// Texture units: unit 0 carries the pass's data or sprite texture, enabled
// for fixed-function drawing when target is not 0; unit 1 carries the
// transfer texture on its 1-D target, for the layer program only, never
// enabled. Every other target of both units is disabled; unit 0 is left
// active.
void COpenGLControl::useTextures(unsigned int target, unsigned int texture, bool transfer)
{
    glActiveTexture(GL_TEXTURE1);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_3D);
    if (transfer) {
        glBindTexture(GL_TEXTURE_1D, transferTexture);
    }
    glActiveTexture(GL_TEXTURE0);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_3D);
    if (target != 0) {
        glBindTexture(target, texture);
        glEnable(target);
    }
}

// Lines in their own colours. Polygon mode and blending do not touch them.
void COpenGLControl::setUpAxesPass()
{
    useFixedFunction();
    useTextures(0, 0, false);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
}

// The grid list's quads as white lines.
void COpenGLControl::setUpWireframePass()
{
    useFixedFunction();
    useTextures(0, 0, false);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
}

// The frame's vectors as colours: the texture modulates the slices' white.
void COpenGLControl::setUpVectorPass(unsigned int texture)
{
    useFixedFunction();
    useTextures(GL_TEXTURE_3D, texture, false);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
}

// The layer through the transfer program, blended far to near.
void COpenGLControl::setUpLayerPass(unsigned int texture)
{
    useFixedFunction();
    useTextures(GL_TEXTURE_3D, texture, true);
    CGShaderManager::instance().bindProgram(transferFragment.name);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_BLEND);
    // Destination alpha stays 1: the picture, read back, is opaque.
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
    glEnable(GL_DEPTH_TEST);
    // Translucent cells, drawn far to near, must not hide what comes after.
    glDepthMask(GL_FALSE);
}

// Depth-tested lines in their own colours.
void COpenGLControl::setUpStreamlinePass()
{
    useFixedFunction();
    useTextures(0, 0, false);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
}

// Point sprites of the arrow head through the glyph programs, blended over
// a fresh depth buffer: glyphs lie over everything drawn so far.
void COpenGLControl::setUpGlyphPass()
{
    glDepthMask(GL_TRUE);
    glClear(GL_DEPTH_BUFFER_BIT);
    useTextures(GL_TEXTURE_2D, glyphTexture, false);
    glTexEnvf(GL_POINT_SPRITE, GL_COORD_REPLACE, 1.0f);
    glPointSize(13.0f);
    glEnable(GL_POINT_SPRITE);
    glDisable(GL_VERTEX_PROGRAM_POINT_SIZE);
    glEnable(GL_BLEND);
    // Destination alpha stays 1: the picture, read back, is opaque.
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    CGShaderManager& shaders = CGShaderManager::instance();
    shaders.bindProgram(glyphVertex.name);
    shaders.bindProgram(glyphFragment.name);
}

void COpenGLControl::callSlicesBackToFront()
{
    float modelView[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    for (int k : slicesBackToFront(modelView, sliceCentre)) {
        if (curvedCells.holds(uint32_t(k))) {
            curvedCells.draw(uint32_t(k), modelView);
        } else {
            glCallList(sliceLists + unsigned(k));
        }
    }
}

void COpenGLControl::vectorPass()
{
    // No texture (the data set did not fit): no fill rather than a wrong one.
    const unsigned int texture = frameTextures.vectorTexture(currentFrame);
    standIn = frameTextures.standIn();
    if (texture == 0) {
        return;
    }
    setUpVectorPass(texture);
    callSlicesBackToFront();
    glDisable(GL_TEXTURE_3D);
}

void COpenGLControl::layerPass()
{
    const unsigned int texture = frameTextures.layerTexture(currentLayer, currentFrame);
    standIn = frameTextures.standIn();
    if (texture == 0) {
        return;
    }
    setUpLayerPass(texture);
    callSlicesBackToFront();
    CGShaderManager::instance().unbindProgram(transferFragment.name);
    glDepthMask(GL_TRUE);
    glDisable(GL_TEXTURE_3D);
}

void COpenGLControl::glyphPass()
{
    glyphPoints.follow(glyphPointList, *flowData, currentFrame);
    setUpGlyphPass();
    cgGLSetStateMatrixParameter(glyphVertex.parameters["modelViewProj"], CG_GL_MODELVIEW_PROJECTION_MATRIX,
                                CG_GL_MATRIX_IDENTITY);
    if (glyphPointList != 0) {
        glCallList(glyphPointList);
    }
    CGShaderManager& shaders = CGShaderManager::instance();
    shaders.unbindProgram(glyphVertex.name);
    shaders.unbindProgram(glyphFragment.name);
    glDisable(GL_POINT_SPRITE);
    glDisable(GL_VERTEX_PROGRAM_POINT_SIZE);
}

void COpenGLControl::OnSize(unsigned nType, int cx, int cy)
{
    Tool::log("COpenGLControl::OnSize()", "Resizing OpenGL Control",
              "New Size: (0,0," + std::to_string(cx) + "," + std::to_string(cy) + ")");
    if (cx < 1 || cy < 1 || nType == SIZE_MINIMIZED) {
        return;
    }
    // The first size that arrives, the window's own or a forwarded one, is
    // the creation size and changes nothing.
    if (firstSize) {
        firstSize = false;
        return;
    }
    if (surface) {
        surface->moveWindow(0, 0, cx, cy);
    }
    updateProjection();
}

void COpenGLControl::OnMouseMove(unsigned nFlags, int x, int y)
{
    if (nFlags & MK_LBUTTON) {
        const float dx = float(x) - lastMouseX;
        const float dy = float(y) - lastMouseY;
        if (nFlags & MK_SHIFT) {
            panX += dx * 0.025f;
            panY += -dy * 0.025f;
        } else {
            rotX += dy * 0.5f;
            rotY += dx * 0.5f;
        }
        Invalidate();
    }
    lastMouseX = float(x);
    lastMouseY = float(y);
}

void COpenGLControl::OnMouseHWheel(unsigned nFlags, short zDelta, int, int)
{
    if (nFlags & MK_SHIFT) {
        float candidate = scale;
        if (zDelta > 0) {
            candidate = scale - 0.5f;
        } else if (zDelta < 0) {
            candidate = scale + 0.5f;
        }
        if (candidate > 0) {
            scale = candidate;
        }
    } else {
        if (zDelta > 0) {
            zoom -= 0.1f;
        } else if (zDelta < 0) {
            zoom += 0.1f;
        }
        if (zoom <= 0) {
            zoom = 0.1f;
        }
        applyCamera();
    }
    Invalidate();
}
