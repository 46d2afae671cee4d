#include "app/CommandChannel.h"
#include "app/EntrySequence.h"
#include "app/LanguageTable.h"
#include "app/SingleInstance.h"
#include "platform/UserDirectories.h"
#include "ui/main/MainWindow.h"
#include "ui/main/ManagerStyle.h"

#include <QApplication>
#include <QByteArrayView>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

namespace {

QtMessageHandler g_defaultHandler = nullptr;

// While the window system is being reached: its plugin's complaints are held back, and a failure to reach any is
// told in one line, with the exit status 1, instead of Qt's abort.
void windowSystemMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        const QByteArray display =
            qgetenv("WAYLAND_DISPLAY").isEmpty() ? qgetenv("DISPLAY") : qgetenv("WAYLAND_DISPLAY");
        if (display.isEmpty())
            std::fputs("vx7100-mgr: no display to open: neither DISPLAY nor WAYLAND_DISPLAY is set\n", stderr);
        else // Qt's own reason, which may be another than the display, on the same line
            std::fprintf(stderr, "vx7100-mgr: cannot open the display %s: %s\n", display.constData(),
                         qPrintable(message.section(u'\n', 0, 0)));
        std::_Exit(1);
    }
    if (QByteArrayView(context.category).startsWith("qt.qpa"))
        return;
    g_defaultHandler(type, context, message);
}

} // namespace

// The command line is ignored: configuration comes only from the files beside the program and the user's files.
int main(int argc, char* argv[]) {
    g_defaultHandler = qInstallMessageHandler(windowSystemMessages);
    QApplication application(argc, argv);
    qInstallMessageHandler(g_defaultHandler);
    // The window class: X11 reads it as WM_CLASS, Wayland as the application id, matching the desktop entry.
    QApplication::setApplicationName(QLatin1String(CommandChannel::WindowClassName));
    QApplication::setDesktopFileName(QLatin1String(CommandChannel::WindowClassName));
    QApplication::setApplicationVersion(QStringLiteral(VX_VERSION));
    QApplication::setStyle(new ManagerStyle);

    const QString programDirectory = QApplication::applicationDirPath() + u'/';
    const StartupState startup = RunEntrySequence(programDirectory, LanguageTable::instance());

    const QString runtimeDirectory = UserDirectories::runtimeDirectory();
    SingleInstance instance(runtimeDirectory);
    if (instance.IsAnotherInstanceRunning())
        return 0;

    MainWindow window(startup.programDirectory);
    QObject::connect(&instance, &SingleInstance::restoreRequested, &window, &MainWindow::restoreFromAnotherInstance);
    CommandChannel commands(runtimeDirectory);
    QObject::connect(&commands, &CommandChannel::commandReceived, &window,
                     [&window](const QString& command, int32_t* result) { *result = window.handleCopyData(command); });
    commands.listen();

    QApplication::setWindowIcon(QIcon(QStringLiteral(":/MAINICON.png")));
    window.show();
    return QApplication::exec();
}
