// The parameter pages' window tests, one Qt Test class per page, run in one program.
// `params_pages_test [CLASS] [Qt Test arguments]` runs one class only (MotorPageTest, ...).
#include <QApplication>
#include <cstring>
#include <vector>

#include "serial/timing.h"
#include "ui/c_numbers.h"

int RunMotorPageTest(int argc, char** argv);
int RunDriverPageTest(int argc, char** argv);
int RunUserDefDlgTest(int argc, char** argv);
int RunListPageTest(int argc, char** argv);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    UseCNumbers();
    // 5000 ms waits take 250 ms, matching's 10 s ticks 500 ms, the drive's 15 s matching 750 ms.
    torvane::SetTimeScale(0.05);
    struct Class {
        const char* name;
        int (*run)(int, char**);
    };
    const Class classes[] = {{"MotorPageTest", RunMotorPageTest},
                             {"DriverPageTest", RunDriverPageTest},
                             {"UserDefDlgTest", RunUserDefDlgTest},
                             {"ListPageTest", RunListPageTest}};
    const char* only = nullptr;
    std::vector<char*> args(argv, argv + argc);
    for (const Class& c : classes) {
        if (argc > 1 && std::strcmp(argv[1], c.name) == 0) {
            only = c.name;
            args.erase(args.begin() + 1);
        }
    }
    int failed = 0;
    for (const Class& c : classes) {
        if (only != nullptr && std::strcmp(only, c.name) != 0) continue;
        failed += c.run(static_cast<int>(args.size()), args.data()) != 0 ? 1 : 0;
    }
    return failed;
}
