#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/torvane_app.h"

int main(int argc, char** argv) {
    bool help = false;
    for (int i = 1; i < argc; ++i) {
        help = help || std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 ||
               std::strcmp(argv[i], "--version") == 0;
    }
    // Without a display Qt only prints a bare platform error; say what to do instead. The
    // options and the version are shown without one.
    if (help && !CTorvaneApp::HasDisplay()) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!CTorvaneApp::HasDisplay()) {
        std::fprintf(stderr, "%s\n", CTorvaneApp::NoDisplayMessage());
        return 1;
    }
    CTorvaneApp app(argc, argv);
    return app.Run();
}
