#pragma once

// A check for OpenGL errors after each drawing pass, for development: on in
// debug builds and wherever the environment sets QUORVANE_GL_CHECK to
// anything but 0 (the gl tests do). Off, it costs the test of one flag.
class GLErrorCheck {
public:
    static bool enabled();
    // When enabled and GL has recorded errors since the last check, prints
    // them with the pass's name and aborts, as a failed assertion does.
    // Needs the context current.
    static void after(const char* pass);
};
