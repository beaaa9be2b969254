// The widget tests need a QApplication before the first test builds a widget.
#include <gtest/gtest.h>

#include <QApplication>

// Under LeakSanitizer: fontconfig keeps its caches until the process ends, which Qt
// cannot free; those allocations are not the program's leaks.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv) {
    // Listing the tests at build time runs without CTest's environment: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
