#pragma once

#include "common/OperationTrace.h"
#include "common/TestProgram.h"
#include "ui/main/MainWindow.h"

#include <QAction>
#include <QObject>
#include <QStackedWidget>
#include <QTreeWidget>

#include <memory>

// The one control of owner with this object name; the test run stops when there is none, or more than one, or it is
// not a T. Tests reach the window's controls only this way, as a person finds them by what they are called.
template <typename T> T* findNamed(const QObject& owner, const char* name) {
    const QList<T*> found = owner.findChildren<T*>(QLatin1String(name));
    if (found.size() != 1)
        qFatal("%lld controls named %s", qlonglong(found.size()), name);
    return found.front();
}

// The set-up the tests of the main window share: per test a fresh program directory and virtual-token home, the
// built-in texts, no dialog answers left over, and an operation log folder, so that every test can read the
// library calls the window made. Derived test classes inherit the set-up slots.
class WindowTestCase : public QObject {
    Q_OBJECT
protected:
    // Creates a virtual token and plugs it in.
    static void plugged(const char* serial, const QStringList& options = {});
    // The window of the test program, shown and past the opening of its token library and its first discovery.
    MainWindow& openWindow(OperationLog log = OperationLog());
    // Where the operation log of this test goes, and everything it wrote so far.
    static QString logFolder();
    static QByteArray operationTrace() { return readOperationTrace(logFolder()); }

    // A control of the test's window by its object name, and the shorthands for the common ones.
    template <typename T> T* control(const char* name) const { return findNamed<T>(*m_window, name); }
    QAction* action(const char* name) const { return control<QAction>(name); }
    QTreeWidget* navigation() const { return control<QTreeWidget>("tvUSBKey"); }
    int currentPage() const { return control<QStackedWidget>("pcMain")->currentIndex(); }

    std::unique_ptr<TestProgram> m_program;
    std::unique_ptr<MainWindow> m_window;

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
};
