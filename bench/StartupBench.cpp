// Start-up of the program: time from process start until its main window is shown (offscreen), and the peak
// memory of the process. The window answers its command channel only from the event loop, which runs once the
// window has been shown, so the first answer marks the moment.
//   build/bench/startup-bench [runs]
#include "app/CommandChannel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    QTemporaryDir home, runtime;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("QT_QPA_PLATFORM", "offscreen");

    std::vector<double> startMs;
    long peakKb = 0;
    for (int run = 0; run < runs; ++run) {
        char program[] = VX_PROGRAM;
        char* arguments[] = {program, nullptr};
        QElapsedTimer clock;
        clock.start();
        pid_t pid = 0;
        if (posix_spawn(&pid, program, nullptr, nullptr, arguments, environ) != 0) {
            std::perror("posix_spawn");
            return 1;
        }
        while (!CommandChannel::send(runtime.path(), QStringLiteral("ping"), 1000)) {
            if (clock.elapsed() > 30000 || waitpid(pid, nullptr, WNOHANG) == pid) {
                std::fprintf(stderr, "the program did not come up\n");
                return 1;
            }
            QThread::usleep(500);
        }
        startMs.push_back(clock.nsecsElapsed() / 1e6);
        CommandChannel::send(runtime.path(), QStringLiteral("CLOSE"));
        int status = 0;
        struct rusage usage {};
        wait4(pid, &status, 0, &usage);
        peakKb = std::max(peakKb, usage.ru_maxrss);
    }
    std::sort(startMs.begin(), startMs.end());
    std::printf("start-up to window shown over %d runs: median %.1f ms, min %.1f ms, max %.1f ms\n", runs,
                startMs[startMs.size() / 2], startMs.front(), startMs.back());
    std::printf("peak resident memory: %.1f MiB\n", peakKb / 1024.0);
    return 0;
}
