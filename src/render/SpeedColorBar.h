#pragma once

#include <string>

class GLSurface;

// A small bar in the lower right corner of the view showing the speed colour
// map upwards from slow to fast, with the data set's slowest and fastest
// speeds written beside its ends.
class SpeedColorBar {
public:
    void setRange(float slowest, float fastest);
    // Draws over the picture, in pixels of the viewport; leaves the matrices
    // and the state it changes as they were. Needs the context current and
    // fixed-function drawing with no texture enabled on unit 1.
    void draw(const GLSurface& surface);

private:
    struct Label {
        std::string text;
        unsigned int texture = 0;
        int width = 0, height = 0;
    };
    static void setUp(int width, int height);
    static void restore();
    static void prepare(const GLSurface& surface, Label& label, float value);
    static void drawLabel(const Label& label, int right, int middle);

    float slowest = 0, fastest = 0;
    Label low, high;
};
