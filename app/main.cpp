#include "app/CommandChannel.h"
#include "app/EntrySequence.h"
#include "app/LanguageTable.h"
#include "app/SingleInstance.h"
#include "platform/UserDirectories.h"
#include "ui/main/MainWindow.h"
#include "ui/main/ManagerStyle.h"

#include <QApplication>
#include <QIcon>

// The command line is ignored: configuration comes only from the files beside the program and the user's files.
int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
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
