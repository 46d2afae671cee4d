// The system page's online update: the server's version against the installed one, the installer fetched on a
// thread of its own with the bar following it, and started once the user agrees.
#include "ui/system/SystemCheckPage.h"

#include "app/CommandChannel.h"
#include "app/LanguageTable.h"
#include "app/OnlineUpdate.h"
#include "platform/Download.h"
#include "platform/UserDirectories.h"
#include "ui/main/DesktopOpener.h"
#include "ui/main/DialogService.h"

#include <QAction>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>

namespace {

// A download that has not ended, as the wait reads it.
constexpr int StillActive = 259;
// Our code for an installer that arrived over a transport nobody vouches for: plain HTTP without a digest, or one
// whose digest is not the published one.
constexpr int Unverified = -2;
constexpr int WaitSteps = 50;
constexpr int WaitStepMilliseconds = 10;

// The installer keeps the name of its URL: the desktop picks the handler by it. "Sefira_Setup.exe" when the URL
// names no file.
QString installerPath(const QString& folder, const QString& url) {
    const QString name = QUrl(url).fileName();
    // Never one of the folder's own files, nor the folder itself.
    const QStringList taken{QString(),
                            QStringLiteral("."),
                            QStringLiteral(".."),
                            QLatin1String(OnlineUpdate::ClientConfigName),
                            QLatin1String(OnlineUpdate::ServerConfigName),
                            QStringLiteral("Logs.txt")};
    return folder + (taken.contains(name) ? QStringLiteral("Sefira_Setup.exe") : name);
}

bool digestMatches(const QString& path, const QString& expected) {
    QFile file(path);
    if (expected.isEmpty() || !file.open(QIODevice::ReadOnly))
        return false;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return hash.addData(&file) && QString::fromLatin1(hash.result().toHex()) == expected;
}

// A program or script starts with the installer's argument; anything else opens with the desktop's handler.
void startInstaller(const QString& path) {
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(4) : QByteArray();
    if (head == "\x7f"
                "ELF" ||
        head.startsWith("#!")) {
        file.close();
        file.setPermissions(file.permissions() | QFile::ExeOwner);
        QProcess::startDetached(path, {QStringLiteral("/upgrade")});
        return;
    }
    DesktopOpener::open(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
}

// Runs work on a thread of its own while the window goes on handling its events; the flag work is given turns
// true once the window closes.
void runResponsively(const std::function<void(const std::atomic<bool>& closing)>& work, const PageHost& host) {
    std::atomic<bool> done = false, closing = false;
    const std::unique_ptr<QThread> worker(QThread::create([&] {
        work(closing);
        done = true;
    }));
    worker->start();
    while (!done) {
        QThread::msleep(WaitStepMilliseconds);
        QCoreApplication::processEvents();
        closing = host.isClosing();
    }
    worker->wait();
}

} // namespace

void SystemCheckPage::AcUpdateExecute() {
    using namespace OnlineUpdate;
    QWidget* owner = m_host.dialogOwner();
    AcUpdate->setEnabled(false);
    CommandChannel::send(UserDirectories::runtimeDirectory(), QStringLiteral("Update"), 1000,
                         QStringLiteral("vx7100_TrayIcon"));
    const auto finished = [this] { AcUpdate->setEnabled(true); };
    // The log's own failures are told as the report's are.
    const auto WriteUpdateLog = [owner](const QString& text) {
        if (const QString error = OnlineUpdate::WriteUpdateLog(text); !error.isEmpty())
            DialogService::information(owner, error);
    };

    // The server's file is small, but its server may be slow or gone: the window keeps answering meanwhile, and
    // closing it ends the fetch.
    Versions versions;
    ReadResult read = Read;
    runResponsively(
        [&](const std::atomic<bool>& closing) {
            read = ReadUpdateVersions(versions, [&closing](qint64, qint64) { return !closing; });
        },
        m_host);
    if (read != Read) {
        WriteUpdateLog(read == NoClientConfig ? QStringLiteral("客户端配置文件不存在")
                                              : QStringLiteral("服务端版本更新失败"));
        DialogService::information(owner, textOf(TextKey::U_ConnServer_Error));
        return finished();
    }
    WriteUpdateLog(QStringLiteral("Server Ver = %1  Client Ver = %2").arg(versions.server, versions.client));
    if (!isNewer(versions.server, versions.client)) {
        DialogService::information(owner, textOf(TextKey::U_NewVersion));
        WriteUpdateLog(QStringLiteral("未检测到新版本"));
        return finished();
    }
    WriteUpdateLog(QStringLiteral("服务器版本高于客户端版本"));
    if (!DialogService::question(owner, textOf(TextKey::Update_Info))) {
        WriteUpdateLog(QStringLiteral("放弃更新"));
        return finished();
    }

    WriteUpdateLog(QStringLiteral("开始更新..."));
    const QString url = versions.installerUrl;
    const QString path = installerPath(UpdateFolder(), url);
    // The worker reads only what it was given and reports to the bar through the GUI thread's queue.
    // What the worker and the wait share: the outcome, the bytes so far, and the request to stop. The bar is fed by
    // the wait, on this thread; the worker touches no widget.
    struct Outcome {
        std::atomic<int> code = StillActive;
        std::atomic<bool> secure = false;
        std::atomic<qint64> done = 0, total = 0;
        std::atomic<bool> stop = false;
    };
    Outcome outcome;
    QThread* worker = QThread::create([url, path, &outcome] {
        const Download::Result result = Download::fetch(url, path, [&outcome](qint64 done, qint64 total) {
            outcome.done = done;
            outcome.total = total;
            return !outcome.stop;
        });
        outcome.secure = result.secure;
        outcome.code = result.code;
    });
    pbURLDownFile->setVisible(true);
    worker->start();
    const auto showProgress = [this, &outcome] {
        // Kilobytes, so that an installer past 2 GiB still fits the bar's int range.
        const qint64 total = outcome.total, done = outcome.done;
        pbURLDownFile->setMaximum(int(std::max<qint64>(total / 1024, 1)));
        pbURLDownFile->setValue(int(std::min(done, total) / 1024));
    };
    int code = StillActive;
    while (!m_host.isClosing()) {
        if ((code = outcome.code) != StillActive)
            break;
        for (int step = 0; step < WaitSteps; ++step) {
            QThread::msleep(WaitStepMilliseconds);
            showProgress();
            QCoreApplication::processEvents();
        }
    }
    showProgress();
    // A closing window stops the transfer too, at its next progress report; no part of the file is left.
    outcome.stop = true;
    worker->wait();
    delete worker;
    if (code == StillActive) {
        WriteUpdateLog(QStringLiteral("失败更新，返回值 = ") + QString::number(code));
        return finished();
    }
    // Only an installer someone vouches for is offered: one whose digest the server's file publishes, or, when it
    // publishes none, one fetched over verified HTTPS.
    const bool vouched =
        versions.installerSha256.isEmpty() ? bool(outcome.secure) : digestMatches(path, versions.installerSha256);
    if (code == 0 && !vouched) {
        QFile::remove(path);
        code = Unverified;
    }
    if (code != 0) {
        WriteUpdateLog(QStringLiteral("失败更新，返回值 = ") + QString::number(code));
        return finished();
    }
    if (DialogService::question(owner, textOf(TextKey::Update_Down_OK)))
        startInstaller(path);
    else
        WriteUpdateLog(QStringLiteral("放弃安装"));
    finished();
}
