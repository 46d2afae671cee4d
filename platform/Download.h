#pragma once

#include <QString>

#include <functional>

// One file fetched from a URL, with redirects followed and no cache in between.
namespace Download {

struct Result {
    int code = 0;        // 0 when the file was fetched whole; else curl's code (an HTTP error status is one)
    bool secure = false; // fetched over HTTPS from the first request to the last redirect, certificates verified
};

// Fetches url into path: the file appears complete or not at all. A URL that starts with HTTPS is never redirected
// to anything else. progress, when given, hears the bytes so far and the total (0 while unknown) on the calling
// thread, and ends the transfer by answering false.
Result fetch(const QString& url, const QString& path,
             const std::function<bool(qint64 done, qint64 total)>& progress = {});

} // namespace Download
