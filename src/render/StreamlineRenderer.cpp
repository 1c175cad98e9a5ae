#include "render/StreamlineRenderer.h"

#include "diagnostics/Logger.h"
#include "flowdata/FlowData.h"

#include <GL/glew.h>

StreamlineRenderer::StreamlineRenderer(std::function<void()> ready) : worker(std::move(ready)) {}

void StreamlineRenderer::reset()
{
    worker.cancel();
    positions.reset();
    asked = false;
    firstCurrentId = lastId + 1;
    first.clear();
    count.clear();
    logged.clear();
}

void StreamlineRenderer::ask(const FlowData& data, uint32_t frame)
{
    const std::array<uint32_t, 3>* size = data.getSize();
    if ((asked && frame == askedFrame) || !size) {
        return;
    }
    // Copied once per data set, and only once lines are wanted: the worker
    // must not read the data set's own array while a load refills it.
    if (!positions) {
        positions = std::make_shared<const std::vector<float>>(data.positions);
    }
    StreamlineWorker::Job job;
    job.id = ++lastId;
    job.data = &data;
    job.positions = positions;
    job.size = *size;
    job.frame = frame;
    job.slowest = data.speedMin;
    job.fastest = data.speedMax;
    worker.request(std::move(job));
    asked = true;
    askedFrame = frame;
}

void StreamlineRenderer::upload(StreamlineWorker::Result& result)
{
    // A frame that cannot be read fails again on every visit; it is logged on the first.
    for (const Tool::Message& failure : result.failures) {
        if (logged.insert(failure.source + '\n' + failure.text + '\n' + failure.details).second) {
            Tool::Logger::instance().log(failure);
        }
    }
    if (result.id < firstCurrentId) {
        return;
    }
    if (buffer == 0) {
        glGenBuffers(1, &buffer);
    }
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(result.vertices.size() * sizeof(float)), result.vertices.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    first = std::move(result.first);
    count = std::move(result.count);
}

void StreamlineRenderer::draw()
{
    StreamlineWorker::Result result;
    if (worker.take(result)) {
        upload(result);
    }
    if (first.empty()) {
        return;
    }
    // A hair nearer than they are, so that lines lying in a slice's plane
    // are not lost to it.
    glDepthRange(0.0, 0.99999);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 6 * sizeof(float), nullptr);
    glColorPointer(3, GL_FLOAT, 6 * sizeof(float), reinterpret_cast<const void*>(3 * sizeof(float)));
    glMultiDrawArrays(GL_LINE_STRIP, first.data(), count.data(), GLsizei(first.size()));
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDepthRange(0.0, 1.0);
}
