#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>

class TokenLibrary;

// What one import worker reads: written by the certificate page before the worker starts, read by the worker on
// its own thread. Only the progress step changes while the worker runs.
struct ImportJob {
    enum FileType : int32_t { Pkcs12 = 0, X509 = 1, Pkcs7 = 2 };

    int32_t fileType = Pkcs12;
    int32_t token = 0;
    int32_t container = 0; // position of the chosen existing container
    int32_t usage = 0;
    int32_t certificateIndex = 0;
    std::atomic<int32_t> progressStep{0};
    QString filePath;
    QByteArray containerName;
    // The token's containers as the page last read them: a container not among them is created first.
    QByteArrayList knownContainers;
};

// How a worker paces the progress bar: the step the timer adds per tick and the timer's interval. Called on the
// worker's thread; the timer is changed on the thread that owns it.
using ImportPace = std::function<void(int32_t step, int interval)>;

// The three workers, one per file type. Each creates the job's container when it is not known yet, then imports
// the job's certificate into it; the result is the library's code.
int32_t Pkcs12ImportWorker(TokenLibrary& tokens, ImportJob& job, const ImportPace& pace);
int32_t X509ImportWorker(TokenLibrary& tokens, ImportJob& job, const ImportPace& pace);
int32_t P7bImportWorker(TokenLibrary& tokens, ImportJob& job, const ImportPace& pace);
// The worker for the job's file type.
int32_t ImportWorkerFor(TokenLibrary& tokens, ImportJob& job, const ImportPace& pace);
