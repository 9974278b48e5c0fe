#include <cstdio>

#include "app/torvane_app.h"

int main(int argc, char** argv) {
    // Without a display Qt only prints a bare platform error; say what to do instead.
    if (!CTorvaneApp::HasDisplay()) {
        std::fprintf(stderr, "%s\n", CTorvaneApp::NoDisplayMessage());
        return 1;
    }
    CTorvaneApp app(argc, argv);
    return app.Run();
}
