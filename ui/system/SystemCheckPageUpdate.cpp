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
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <atomic>
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
    return folder + (name.isEmpty() ? QStringLiteral("Sefira_Setup.exe") : name);
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
    DesktopOpener::open(QUrl::fromLocalFile(path).toString());
}

} // namespace

void SystemCheckPage::AcUpdateExecute() {
    using namespace OnlineUpdate;
    QWidget* owner = m_host.dialogOwner();
    AcUpdate->setEnabled(false);
    CommandChannel::send(UserDirectories::runtimeDirectory(), QStringLiteral("Update"), 1000,
                         QStringLiteral("vx7100_TrayIcon"));
    const auto finished = [this] { AcUpdate->setEnabled(true); };

    Versions versions;
    if (const ReadResult read = ReadUpdateVersions(versions); read != Read) {
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
    // Shared with the worker, which may outlive this call when the window closes during the download.
    struct Outcome {
        std::atomic<int> code = StillActive;
        std::atomic<bool> secure = false;
    };
    const auto outcome = std::make_shared<Outcome>();
    QPointer<QProgressBar> bar = pbURLDownFile;
    QThread* worker = QThread::create([url, path, bar, outcome] {
        const Download::Result result = Download::fetch(url, path, [bar](qint64 done, qint64 total) {
            QMetaObject::invokeMethod(
                bar,
                [bar, done, total] {
                    if (!bar)
                        return;
                    // The bar counts kilobytes, so that an installer past 2 GiB still fits its int range.
                    bar->setMaximum(int(std::max<qint64>(total / 1024, 1)));
                    bar->setValue(int(std::min<qint64>(done, total) / 1024));
                },
                Qt::QueuedConnection);
        });
        outcome->secure = result.secure;
        outcome->code = result.code;
    });
    pbURLDownFile->setVisible(true);
    worker->start();
    int code = StillActive;
    while (!m_host.isClosing()) {
        if ((code = outcome->code) != StillActive)
            break;
        for (int step = 0; step < WaitSteps; ++step) {
            QThread::msleep(WaitStepMilliseconds);
            QCoreApplication::processEvents();
        }
    }
    // A closing window stops waiting, not the download: the thread ends once its transfer does.
    if (code == StillActive) {
        connect(worker, &QThread::finished, worker, &QObject::deleteLater);
        WriteUpdateLog(QStringLiteral("失败更新，返回值 = ") + QString::number(code));
        return finished();
    }
    worker->wait();
    delete worker;
    // Only an installer someone vouches for is offered: one fetched over verified HTTPS, or one whose digest the
    // server's file publishes.
    if (code == 0 && !outcome->secure && !digestMatches(path, versions.installerSha256)) {
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
