#include "support/TestApplication.h"

#include <QApplication>
#include <QDir>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <unistd.h>

QApplication& TestApplication::instance()
{
    return instance<QApplication>([](int& count, char** values) { return new QApplication(count, values); });
}

void TestApplication::TearDown()
{
    delete app();
    app() = nullptr;
}

void TestApplication::enterPrivateFolder()
{
    static char folder[] = "/tmp/quorvane_test_XXXXXX";
    if (mkdtemp(folder) == nullptr || chdir(folder) != 0) {
        std::abort();
    }
    std::atexit([] { QDir(folder).removeRecursively(); });
}

int& TestApplication::argc()
{
    static int count = 1;
    return count;
}

char** TestApplication::argv()
{
    static char* values[] = {program_invocation_name, nullptr};
    return values;
}

QApplication*& TestApplication::app()
{
    static QApplication* made = nullptr;
    return made;
}
