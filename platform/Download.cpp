#include "platform/Download.h"

#include <QSaveFile>

#include <curl/curl.h>

#include <mutex>

namespace {

constexpr long ConnectTimeoutSeconds = 20;

struct Transfer {
    QSaveFile* file;
    const std::function<void(qint64, qint64)>* progress;
};

size_t writeData(char* data, size_t size, size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    return transfer->file->write(data, qint64(size * count)) == qint64(size * count) ? size * count : 0;
}

int reportProgress(void* context, curl_off_t total, curl_off_t done, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(context);
    if (*transfer->progress)
        (*transfer->progress)(qint64(done), qint64(total));
    return 0;
}

} // namespace

Download::Result Download::fetch(const QString& url, const QString& path,
                                 const std::function<void(qint64, qint64)>& progress) {
    static std::once_flag initialized;
    std::call_once(initialized, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    Result result;
    QSaveFile file(path);
    CURL* curl = curl_easy_init();
    if (!curl || !file.open(QIODevice::WriteOnly)) {
        if (curl)
            curl_easy_cleanup(curl);
        result.code = CURLE_WRITE_ERROR;
        return result;
    }
    Transfer transfer{&file, &progress};
    const QByteArray address = url.toUtf8();
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(curl, CURLOPT_URL, address.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeData);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, reportProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    result.code = int(curl_easy_perform(curl));
    char* effective = nullptr;
    if (result.code == CURLE_OK && curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK &&
        effective) {
        // curl verifies the certificate of every HTTPS server it talks to; the last one decides the transport.
        result.secure = QByteArray(effective).startsWith("https://");
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    if (result.code == CURLE_OK && !file.commit())
        result.code = CURLE_WRITE_ERROR;
    if (result.code != CURLE_OK)
        result.secure = false;
    return result;
}
