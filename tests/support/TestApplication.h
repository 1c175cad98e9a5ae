#pragma once

#include <gtest/gtest.h>

class QApplication;

// The one application of a test process, started in a private current
// folder so that the files one test process writes (log, presets) never meet
// another's; the folder goes when the process ends. Registered as a test
// environment, it destroys the application after the last test, while the
// display connection is still sound.
class TestApplication : public ::testing::Environment {
public:
    // Made on first use.
    static QApplication& instance();
    // The same for an application class of the program's own, made by make
    // from the arguments; call before instance().
    template <class App> static App& instance(App* (*make)(int& argc, char** argv));

    void TearDown() override;

private:
    static void enterPrivateFolder();
    static int& argc();
    static char** argv();
    static QApplication*& app();
};

template <class App> App& TestApplication::instance(App* (*make)(int& argc, char** argv))
{
    if (!app()) {
        enterPrivateFolder();
        app() = make(argc(), argv());
    }
    return static_cast<App&>(*app());
}
