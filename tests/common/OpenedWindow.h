#pragma once

#include "common/TestProgram.h"
#include "ui/main/MainWindow.h"

#include <QTest>

#include <memory>

// The main window of the test program, shown and past the opening of its token library and its first discovery.
inline std::unique_ptr<MainWindow> openWindow(const TestProgram& program, OperationLog log = OperationLog()) {
    auto window = std::make_unique<MainWindow>(program.directory(), nullptr, std::move(log));
    window->show();
    if (!QTest::qWaitFor([&window] { return window->state.TokenLibraryOpen; }))
        qFatal("the token library did not open");
    return window;
}
