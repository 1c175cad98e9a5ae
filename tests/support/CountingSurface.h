#pragma once

#include "render/GLSurface.h"

#include <string>
#include <vector>

// A window for the control that has no context and only counts the paints
// and moves asked of it.
class CountingSurface : public GLSurface {
public:
    bool createContext(std::string&) override { return false; }
    void swapBuffers() override {}
    void requestUpdate() override { ++updates; }
    void requestUpdateFromAnyThread() override { ++updates; }
    int pixelWidth() const override { return 1; }
    int pixelHeight() const override { return 1; }
    std::vector<unsigned char> textImage(const std::string&, int& width, int& height) const override
    {
        width = height = 0;
        return {};
    }
    void moveWindow(int, int, int, int) override { ++moves; }

    int updates = 0;
    int moves = 0;
};
