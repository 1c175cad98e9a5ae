#include "ui/CQuorvaneApp.h"

int main(int argc, char** argv)
{
    CQuorvaneApp app(argc, argv);
    return app.InitInstance();
}
