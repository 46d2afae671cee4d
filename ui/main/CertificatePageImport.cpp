// The certificate page's import: the dialog, the workers on their thread, the progress bar while they run.
#include "ui/main/CertificatePage.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "platform/TextEncoding.h"
#include "token/TokenLibrary.h"
#include "ui/main/BusyCursor.h"
#include "ui/main/DialogService.h"
#include "ui/main/TIMForm.h"
#include "ui/main/WindowState.h"

#include <QAction>
#include <QCoreApplication>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

namespace {

// The code a worker that is still running reports.
constexpr int32_t StillActive = 259;
constexpr int32_t NoAccessCode = 3;
constexpr int32_t NoRoomCode = 0x0A000030;
constexpr int32_t LeastFreeBytes = 4096;
constexpr int PollMilliseconds = 200;

int importPollLimit = CertificatePage::ImportPolls;

// Keeps the window painting and its timers ticking for about milliseconds while the GUI thread waits. Clicks and
// keys wait too: an operation started now would call the token library while the worker does, or parse another
// file under the import.
void keepResponsive(int milliseconds) {
    for (int i = 0; i < milliseconds / 10; ++i) {
        QThread::msleep(10);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

bool isKnownContainer(const TTokenInfo& info, const QByteArray& name) {
    for (int32_t p = 0; p < std::min(info.containerCount, TTokenInfo::MaximumContainers); ++p) {
        if (info.containerNames[size_t(p)] == name)
            return true;
    }
    return false;
}

} // namespace

void CertificatePage::setImportPollLimit(int polls) {
    importPollLimit = polls;
}

void CertificatePage::AcInputCertExecute() {
    tvCert->setFocus();
    WindowState& state = m_host.state();
    const int32_t index = state.CurrentKey;
    KeySlot* slot = state.slot(index);
    const ContainerCertFlags* flags = state.certFlags(index);
    if (!slot || !flags)
        return;
    TTokenInfo& info = slot->info;
    TokenLibrary& tokens = m_host.tokenLibrary();
    QWidget* owner = m_host.dialogOwner();
    const int preselected = preselectedContainer();

    // Memory the module cannot tell (-1) is no reason to refuse.
    if (tokens.token_get_info_ex(index, info) == 0 && info.freeMemory >= 0 && info.freeMemory <= LeastFreeBytes) {
        DialogService::information(owner, textOf(TextKey::K_OutSpace_Error));
        return;
    }

    int32_t rv = 0;
    auto dialog = std::make_unique<TIMForm>(tokens, owner);
    const int32_t count = std::min(info.containerCount, TTokenInfo::MaximumContainers);
    if (count == 0) {
        dialog->offerNewContainerOnly();
    } else {
        QStringList names;
        for (int32_t p = 0; p < count; ++p)
            names.append(TextEncoding::fromLocal8(info.containerNames[size_t(p)]));
        dialog->offerContainers(names, std::clamp(preselected, 0, count - 1));
    }
    // A discovery while the dialog was open (another token pulled out or plugged in) may have given the index to
    // another token or ended the login: the choice made then counts as cancelled.
    if (dialog->exec() == QDialog::Accepted && isLoggedIn(index) && state.CurrentKey == index) {
        ImportJob choice;
        choice.token = index;
        if (dialog->newContainer()) {
            choice.containerName = TextEncoding::toLocal8(dialog->newContainerName());
            if (isKnownContainer(info, choice.containerName)) {
                DialogService::information(owner, textOf(TextKey::K_Cont_Name_Error));
                return;
            }
        } else {
            choice.container = dialog->chosenContainer();
            choice.containerName = info.containerNames[size_t(choice.container)];
        }
        choice.usage = dialog->usage();
        if (!dialog->newContainer() && (*flags)[size_t(choice.container)][size_t(choice.usage - 1)] != 0) {
            DialogService::information(
                owner, textOf(choice.usage == ExchangeUsage ? TextKey::K_spec_mode1 : TextKey::K_spec_mode2) + u'\r');
            return;
        }
        const int32_t fileType = dialog->fileType();
        const int32_t certificates = dialog->certificateCount();
        choice.filePath = dialog->filePath();
        dialog.reset();
        if (QWidget* window = owner ? owner->window() : nullptr)
            window->repaint();
        rv = importFile(fileType, certificates, choice);
        BuildCertTree(state.CurrentKey);
        TRegCert->start();
    }
    if (rv == 0)
        tvCert->setFocus();
    UpdateCertActions();
}

int32_t CertificatePage::importFile(int32_t fileType, int32_t count, ImportJob& choice) {
    TokenLibrary& tokens = m_host.tokenLibrary();
    const KeySlot* slot = m_host.state().slot(choice.token);
    const auto job = [&](const QByteArray& container, int32_t usage, int32_t certificateIndex) {
        auto next = std::make_shared<ImportJob>();
        next->fileType = fileType;
        next->token = choice.token;
        next->container = choice.container;
        next->usage = usage;
        next->certificateIndex = certificateIndex;
        next->filePath = choice.filePath;
        next->containerName = container;
        for (int32_t p = 0; slot && p < std::min(slot->info.containerCount, TTokenInfo::MaximumContainers); ++p)
            next->knownContainers.append(slot->info.containerNames[size_t(p)]);
        return next;
    };

    if (count == 1) {
        const int32_t rv = runWorker(job(choice.containerName, choice.usage, 0), importPollLimit);
        if (rv != 0) {
            showImportFailure(rv);
            tokens.token_reload_all_objects(choice.token);
        }
        return rv;
    }
    // Root and intermediate certificates go into containers of their own, as signature certificates.
    int32_t rv = 0;
    // A token pulled out or renumbered during the import ends it: the rest must not go to another token.
    for (int32_t i = 0; i < count && isLoggedIn(choice.token); ++i) {
        QString subject;
        QString issuer;
        int32_t kind = 0;
        rv = fileType == ImportJob::Pkcs7 ? tokens.p7b_file_get_certinfo(i, subject, issuer, kind)
                                          : tokens.pkcs12_file_get_certinfo(i, subject, issuer, kind);
        // Without its kind a certificate has no place to go: the import ends there rather than guess one.
        if (rv == 0) {
            const bool endEntity = kind == TTokenCertInfo::EndEntity;
            rv = runWorker(job(endEntity ? choice.containerName : TextEncoding::toLocal8(TIMForm::NewGuidName()),
                               endEntity ? choice.usage : int32_t(SignatureUsage), i),
                           std::nullopt);
        }
        if (rv != 0) {
            showImportFailure(rv);
            break;
        }
    }
    return rv;
}

bool CertificatePage::isLoggedIn(int32_t index) {
    const KeySlot* slot = m_host.state().slot(index);
    return slot && slot->KeyState == KeySlot::LoggedIn;
}

void CertificatePage::waitForImportWorkers() {
    for (const QPointer<QThread>& worker : m_workers) {
        if (worker)
            worker->wait();
    }
    m_workers.clear();
}

int32_t CertificatePage::runWorker(const std::shared_ptr<ImportJob>& job, std::optional<int> polls) {
    TokenLibrary& tokens = m_host.tokenLibrary();
    const BusyCursor busy;
    // One worker at a time: one that an earlier import stopped waiting for finishes first.
    const auto running = [this] {
        return std::any_of(m_workers.begin(), m_workers.end(),
                           [](const QPointer<QThread>& worker) { return worker && worker->isRunning(); });
    };
    while (running())
        keepResponsive(PollMilliseconds);
    struct Outcome {
        std::atomic<bool> finished{false};
        std::atomic<int32_t> code{StillActive};
    };
    auto outcome = std::make_shared<Outcome>();
    QPointer<QTimer> ticker(TimerCert);
    const ImportPace pace = [job, ticker](int32_t step, int interval) {
        job->progressStep = step;
        // The timer belongs to the GUI thread, which changes its interval.
        if (ticker)
            QMetaObject::invokeMethod(ticker, [ticker, interval] {
                if (ticker)
                    ticker->setInterval(interval);
            });
    };
    m_job = job;
    startProgress();
    QThread* worker = QThread::create([&tokens, job, outcome, pace] {
        outcome->code = ImportWorkerFor(tokens, *job, pace);
        outcome->finished = true;
    });
    worker->setObjectName(QStringLiteral("ImportWorker"));
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    m_workers.erase(std::remove(m_workers.begin(), m_workers.end(), nullptr), m_workers.end());
    m_workers.emplace_back(worker);
    worker->start();

    int32_t code = StillActive;
    for (int poll = 0; !polls || poll < *polls; ++poll) {
        if (outcome->finished) {
            code = outcome->code;
            break;
        }
        keepResponsive(PollMilliseconds);
    }
    stopProgress();
    m_job.reset();
    return code;
}

void CertificatePage::startProgress() {
    PBCert->setValue(0);
    PBCert->setVisible(true);
    TimerCert->start();
}

void CertificatePage::stopProgress() {
    TimerCert->stop();
    PBCert->setValue(100);
    PBCert->setVisible(false);
}

void CertificatePage::TimerCertTimer() {
    if (m_job)
        PBCert->setValue(std::min(PBCert->maximum(), PBCert->value() + m_job->progressStep));
}

void CertificatePage::showImportFailure(int32_t rv) {
    QString text;
    if (rv == NoAccessCode)
        text = textOf(TextKey::F_Power_Lower);
    else if (rv == NoRoomCode)
        text = textOf(TextKey::K_OutSpace_Error);
    else
        text = textOf(TextKey::K_Import_Error) + textOf(TextKey::K_ErrorCODE_Str) + QStringLiteral("  0x") +
               Format(QStringLiteral("%.8x"), {rv});
    DialogService::information(m_host.dialogOwner(), text);
}
