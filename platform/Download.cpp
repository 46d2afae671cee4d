#include "platform/Download.h"

#include <QSaveFile>

#include <curl/curl.h>

#include <dlfcn.h>

#include <optional>

namespace {

// libcurl is loaded on the first download, never linked: the libraries it brings along would take the room for
// thread-local storage that the program's other run-time libraries use, in every process, downloading or not.
struct CurlLibrary {
    decltype(&curl_global_init) globalInit = nullptr;
    decltype(&curl_easy_init) easyInit = nullptr;
    decltype(&curl_easy_setopt) easySetopt = nullptr;
    decltype(&curl_easy_perform) easyPerform = nullptr;
    decltype(&curl_easy_cleanup) easyCleanup = nullptr;
    decltype(&curl_slist_append) slistAppend = nullptr;
    decltype(&curl_slist_free_all) slistFreeAll = nullptr;
};

// Null when libcurl is not installed; it stays loaded once it is.
const CurlLibrary* curlLibrary() {
    static const std::optional<CurlLibrary> loaded = []() -> std::optional<CurlLibrary> {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return std::nullopt;
        const auto entry = [library](const char* name) { return dlsym(library, name); };
        CurlLibrary curl;
        curl.globalInit = reinterpret_cast<decltype(curl.globalInit)>(entry("curl_global_init"));
        curl.easyInit = reinterpret_cast<decltype(curl.easyInit)>(entry("curl_easy_init"));
        curl.easySetopt = reinterpret_cast<decltype(curl.easySetopt)>(entry("curl_easy_setopt"));
        curl.easyPerform = reinterpret_cast<decltype(curl.easyPerform)>(entry("curl_easy_perform"));
        curl.easyCleanup = reinterpret_cast<decltype(curl.easyCleanup)>(entry("curl_easy_cleanup"));
        curl.slistAppend = reinterpret_cast<decltype(curl.slistAppend)>(entry("curl_slist_append"));
        curl.slistFreeAll = reinterpret_cast<decltype(curl.slistFreeAll)>(entry("curl_slist_free_all"));
        if (!curl.globalInit || !curl.easyInit || !curl.easySetopt || !curl.easyPerform || !curl.easyCleanup ||
            !curl.slistAppend || !curl.slistFreeAll)
            return std::nullopt;
        curl.globalInit(CURL_GLOBAL_DEFAULT);
        return curl;
    }();
    return loaded ? &*loaded : nullptr;
}

constexpr long ConnectTimeoutSeconds = 20;
constexpr long MostRedirects = 10;
// A server that sends less than a byte a second for this long has stalled.
constexpr long StalledSeconds = 60;

struct Transfer {
    QSaveFile* file;
    const std::function<bool(qint64, qint64)>* progress;
};

size_t writeData(char* data, size_t size, size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    return transfer->file->write(data, qint64(size * count)) == qint64(size * count) ? size * count : 0;
}

int reportProgress(void* context, curl_off_t total, curl_off_t done, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(context);
    return *transfer->progress && !(*transfer->progress)(qint64(done), qint64(total)) ? 1 : 0;
}

} // namespace

Download::Result Download::fetch(const QString& url, const QString& path,
                                 const std::function<bool(qint64, qint64)>& progress) {
    const CurlLibrary* library = curlLibrary();
    Result result;
    QSaveFile file(path);
    if (!library) {
        result.code = CURLE_FAILED_INIT;
        return result;
    }
    CURL* curl = library->easyInit();
    if (!curl || !file.open(QIODevice::WriteOnly)) {
        if (curl)
            library->easyCleanup(curl);
        result.code = CURLE_WRITE_ERROR;
        return result;
    }
    Transfer transfer{&file, &progress};
    const QByteArray address = url.toUtf8();
    curl_slist* headers = library->slistAppend(nullptr, "Cache-Control: no-cache");
    headers = library->slistAppend(headers, "Pragma: no-cache");
    library->easySetopt(curl, CURLOPT_URL, address.constData());
    library->easySetopt(curl, CURLOPT_HTTPHEADER, headers);
    library->easySetopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    library->easySetopt(curl, CURLOPT_MAXREDIRS, MostRedirects);
    const bool startsSecure = address.startsWith("https://");
    // A libcurl too old to know these options would follow a redirect anywhere: nothing is fetched then.
    const char* protocols = startsSecure ? "https" : "http,https";
    const CURLcode limited = library->easySetopt(curl, CURLOPT_PROTOCOLS_STR, protocols);
    const CURLcode redirectsLimited = library->easySetopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
    library->easySetopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    library->easySetopt(curl, CURLOPT_LOW_SPEED_TIME, StalledSeconds);
    library->easySetopt(curl, CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
    library->easySetopt(curl, CURLOPT_FAILONERROR, 1L);
    library->easySetopt(curl, CURLOPT_NOSIGNAL, 1L);
    library->easySetopt(curl, CURLOPT_WRITEFUNCTION, writeData);
    library->easySetopt(curl, CURLOPT_WRITEDATA, &transfer);
    library->easySetopt(curl, CURLOPT_NOPROGRESS, 0L);
    library->easySetopt(curl, CURLOPT_XFERINFOFUNCTION, reportProgress);
    library->easySetopt(curl, CURLOPT_XFERINFODATA, &transfer);
    result.code = int(limited != CURLE_OK            ? limited
                      : redirectsLimited != CURLE_OK ? redirectsLimited
                                                     : library->easyPerform(curl));
    // curl verifies the certificate of every HTTPS server it talks to, and an HTTPS start is redirected only to HTTPS.
    result.secure = result.code == CURLE_OK && startsSecure;
    library->slistFreeAll(headers);
    library->easyCleanup(curl);
    if (result.code == CURLE_OK && !file.commit()) {
        result.code = CURLE_WRITE_ERROR;
        result.secure = false;
    }
    return result;
}
