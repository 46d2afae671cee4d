#include "common/WindowTestCase.h"

#include "app/LanguageTable.h"
#include "ui/main/DialogService.h"

#include <QDir>
#include <QTest>

void WindowTestCase::plugged(const char* serial, const QStringList& options) {
    TestProgram::vtoken(QStringList{"create", "--serial", serial, "--plugged"} + options);
}

MainWindow& WindowTestCase::openWindow(OperationLog log) {
    m_window = std::make_unique<MainWindow>(m_program->directory(), nullptr, std::move(log));
    m_window->show();
    if (!QTest::qWaitFor([this] { return m_window->state().TokenLibraryOpen; }))
        qFatal("the token library did not open");
    return *m_window;
}

QString WindowTestCase::logFolder() {
    return QDir::homePath() + QStringLiteral("/KeyLog");
}

void WindowTestCase::initTestCase() {
    DialogService::enableTestMode();
}

void WindowTestCase::init() {
    LanguageTable::instance() = LanguageTable();
    DialogService::clearShownTexts();
    // The program sets HOME to the test's own folder, where the log folder is made.
    m_program = std::make_unique<TestProgram>();
    if (!QDir().mkpath(logFolder()))
        qFatal("cannot make the operation log folder");
}

void WindowTestCase::cleanup() {
    m_window.reset();
    m_program.reset();
}
