#include "render/COpenGLControl.h"

#include "Tools/CGShaderManager.h"
#include "diagnostics/Logger.h"
#include "flowdata/FlowData.h"
#include "flowdata/MemoryBudget.h"
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
          if (surface)
              surface->requestUpdateFromAnyThread();
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
        if (!surface)
            reason = "no window";
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
    if (hasContext())
        project(surface->pixelWidth(), surface->pixelHeight());
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
    if (glIsList(axesList))
        glDeleteLists(axesList, 1);
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

void COpenGLControl::Invalidate()
{
    if (surface)
        surface->requestUpdate();
}

bool COpenGLControl::renderPixels(std::vector<unsigned char>& rgba, int& width, int& height)
{
    if (!hasContext())
        return false;
    const int w = surface->pixelWidth();
    const int h = surface->pixelHeight();
    // A picture for keeping shows the lines of its own frame.
    waitForStreamlines();
    OffscreenTarget target(w, h);
    if (!target.complete())
        return false;
    paintAt(w, h);
    target.read(rgba);
    width = w;
    height = h;
    return true;
}

void COpenGLControl::waitForStreamlines()
{
    if (!showStreamlines || !flowData)
        return;
    streamlines.ask(*flowData, currentFrame);
    streamlines.wait();
}

void COpenGLControl::paintAt(int width, int height)
{
    if (!hasContext())
        return;
    project(width, height);
    paintScene();
    updateProjection();
}

void COpenGLControl::loadTransferTexture(const Transferfunction& tf)
{
    if (!hasContext())
        return;
    glActiveTexture(GL_TEXTURE1);
    glDisable(GL_TEXTURE_1D);
    if (glIsTexture(transferTexture))
        glDeleteTextures(1, &transferTexture);
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
    if (data)
        colourBar.setRange(data->speedMin, data->speedMax);
    if (hasContext())
        frameTextures.reset(flowData, MemoryBudget::textureBudget());
    buildGridList();
    buildGlyphPointList(20, 2);
    updateProjection();
    Invalidate();
}

void COpenGLControl::stopReadingFrames()
{
    streamlines.reset();
}

void COpenGLControl::deleteSliceLists()
{
    if (sliceCount > 0 && glIsList(sliceLists))
        glDeleteLists(sliceLists, sliceCount);
    sliceLists = 0;
    sliceCount = 0;
    sliceCentre.clear();
    curvedCells.release();
}

// The filled passes draw one list per flat slice and the curved slices' cells
// from buffers.
void COpenGLControl::buildGridList()
{
    if (!hasContext())
        return;
    // The old lists go first: a grid that cannot be built shows nothing
    // rather than the previous data set's shape.
    deleteSliceLists();
    wireframe.release();
    const std::array<uint32_t, 3>* size = flowData ? flowData->getSize() : nullptr;
    if (!size)
        return;
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
        std::vector<uint32_t> curved;
        for (uint32_t k = 0; k < Z; ++k) {
            sliceCentre.push_back(grid.sliceCentre(k));
            if (!grid.sliceIsFlat(k)) {
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
        if (!curvedCells.build(grid, curved, problem))
            Tool::log("COpenGLControl::buildGridList()", "Building grid list .. [FAILED]", problem);
    }
}

void COpenGLControl::buildGlyphPointList(int columns, int rows)
{
    if (hasContext())
        glyphPoints.build(glyphPointList, flowData, columns, rows, currentFrame);
}

void COpenGLControl::applyCamera()
{
    if (!hasContext())
        return;
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
    if (!hasContext())
        return;
    paintScene();
    surface->swapBuffers();
}

void COpenGLControl::paintScene()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    applyCamera();
    if (showAxes) {
        // Unit 0 is where the glyph sprite stays enabled; loading a transfer
        // texture leaves unit 1 active.
        glActiveTexture(GL_TEXTURE0);
        glDisable(GL_TEXTURE_2D);
        glCallList(axesList);
    }
    // Only the presence of a data set is tested: after a failed load it is
    // empty, and the textures and lists made for the previous one are shown.
    if (!flowData)
        return;
    glScalef(scale, scale, scale);
    if (showWireframe) {
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glActiveTexture(GL_TEXTURE0);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_TEXTURE_3D);
        // After a failed load the positions are gone: only a wireframe made
        // before can show.
        const std::array<uint32_t, 3>* size = flowData->getSize();
        if (!wireframe.made() && size)
            wireframe.make(GridGeometry(flowData->positions, *size));
        wireframe.draw();
    } else if (showLayer) {
        layerPass();
    } else {
        vectorPass();
    }
    if (showStreamlines) {
        streamlines.ask(*flowData, currentFrame);
        streamlines.draw();
    }
    if (showGlyphs)
        glyphPass();
    if (showGlyphs || showStreamlines)
        colourBar.draw(*surface);
}

void COpenGLControl::callSlicesBackToFront()
{
    float modelView[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    for (int k : slicesBackToFront(modelView, sliceCentre)) {
        if (curvedCells.holds(uint32_t(k)))
            curvedCells.draw(uint32_t(k), modelView);
        else
            glCallList(sliceLists + unsigned(k));
    }
}

void COpenGLControl::vectorPass()
{
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glActiveTexture(GL_TEXTURE0);
    // No texture (the data set did not fit): no fill rather than a wrong one.
    const unsigned int texture = frameTextures.vectorTexture(currentFrame);
    if (texture == 0)
        return;
    glBindTexture(GL_TEXTURE_3D, texture);
    glEnable(GL_TEXTURE_3D);
    callSlicesBackToFront();
    glDisable(GL_TEXTURE_3D);
}

void COpenGLControl::layerPass()
{
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glActiveTexture(GL_TEXTURE0);
    const unsigned int texture = frameTextures.layerTexture(currentLayer, currentFrame);
    if (texture == 0)
        return;
    glBindTexture(GL_TEXTURE_3D, texture);
    glEnable(GL_TEXTURE_3D);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_1D, transferTexture);
    CGShaderManager& shaders = CGShaderManager::instance();
    shaders.bindProgram(transferFragment.name);
    glEnable(GL_BLEND);
    // Destination alpha stays 1: the picture, read back, is opaque.
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
    // Translucent cells, drawn far to near, must not hide what comes after.
    glDepthMask(GL_FALSE);
    callSlicesBackToFront();
    glDepthMask(GL_TRUE);
    shaders.unbindProgram(transferFragment.name);
    glActiveTexture(GL_TEXTURE0);
    glDisable(GL_TEXTURE_3D);
}

void COpenGLControl::glyphPass()
{
    glyphPoints.follow(glyphPointList, *flowData, currentFrame);
    glClear(GL_DEPTH_BUFFER_BIT); // glyphs lie over everything drawn so far
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, glyphTexture);
    glTexEnvf(GL_POINT_SPRITE, GL_COORD_REPLACE, 1.0f);
    glPointSize(13.0f);
    glEnable(GL_POINT_SPRITE);
    glEnable(GL_BLEND);
    // Destination alpha stays 1: the picture, read back, is opaque.
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    CGShaderManager& shaders = CGShaderManager::instance();
    shaders.bindProgram(glyphVertex.name);
    shaders.bindProgram(glyphFragment.name);
    cgGLSetStateMatrixParameter(glyphVertex.parameters["modelViewProj"], CG_GL_MODELVIEW_PROJECTION_MATRIX,
                                CG_GL_MATRIX_IDENTITY);
    glCallList(glyphPointList);
    shaders.unbindProgram(glyphVertex.name);
    shaders.unbindProgram(glyphFragment.name);
    glDisable(GL_POINT_SPRITE);
    glDisable(GL_VERTEX_PROGRAM_POINT_SIZE);
}

void COpenGLControl::OnSize(unsigned nType, int cx, int cy)
{
    Tool::log("COpenGLControl::OnSize()", "Resizing OpenGL Control",
              "New Size: (0,0," + std::to_string(cx) + "," + std::to_string(cy) + ")");
    if (cx < 1 || cy < 1 || nType == SIZE_MINIMIZED)
        return;
    // The first size that arrives, the window's own or a forwarded one, is
    // the creation size and changes nothing.
    if (firstSize) {
        firstSize = false;
        return;
    }
    if (surface)
        surface->moveWindow(0, 0, cx, cy);
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
        if (zDelta > 0)
            candidate = scale - 0.5f;
        else if (zDelta < 0)
            candidate = scale + 0.5f;
        if (candidate > 0)
            scale = candidate;
    } else {
        if (zDelta > 0)
            zoom -= 0.1f;
        else if (zDelta < 0)
            zoom += 0.1f;
        if (zoom <= 0)
            zoom = 0.1f;
        applyCamera();
    }
    Invalidate();
}
