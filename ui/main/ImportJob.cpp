#include "ui/main/ImportJob.h"

#include "token/TokenLibrary.h"

namespace {

struct Pacing {
    int32_t step;
    int32_t creationStep; // while a container is made, which takes longer
};
constexpr int ImportInterval = 150;
constexpr int CreationInterval = 350;

template <typename Import>
int32_t importWorker(TokenLibrary& tokens, ImportJob& job, const ImportPace& pace, Pacing pacing, Import import) {
    pace(pacing.step, ImportInterval);
    if (!job.knownContainers.contains(job.containerName)) {
        pace(pacing.creationStep, CreationInterval);
        if (const int32_t rv = tokens.container_create_new(job.token, job.containerName); rv != 0)
            return rv;
    }
    return import();
}

} // namespace

int32_t Pkcs12ImportWorker(TokenLibrary& tokens, ImportJob& job, const ImportPace& pace) {
    return importWorker(tokens, job, pace, {5, 3}, [&] {
        return tokens.pkcs12_import_certificate(job.token, job.containerName, job.usage, job.certificateIndex);
    });
}

int32_t X509ImportWorker(TokenLibrary& tokens, ImportJob& job, const ImportPace& pace) {
    return importWorker(tokens, job, pace, {3, 2}, [&] {
        return tokens.x509_import_certificate(job.token, job.containerName, job.usage, job.filePath);
    });
}

int32_t P7bImportWorker(TokenLibrary& tokens, ImportJob& job, const ImportPace& pace) {
    return importWorker(tokens, job, pace, {3, 2}, [&] {
        return tokens.p7b_import_certificate(job.token, job.containerName, job.usage, job.certificateIndex);
    });
}

int32_t ImportWorkerFor(TokenLibrary& tokens, ImportJob& job, const ImportPace& pace) {
    switch (job.fileType) {
    case ImportJob::X509:
        return X509ImportWorker(tokens, job, pace);
    case ImportJob::Pkcs7:
        return P7bImportWorker(tokens, job, pace);
    default:
        return Pkcs12ImportWorker(tokens, job, pace);
    }
}
