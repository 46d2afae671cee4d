#include "ui/main/DesktopOpener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace {

std::function<bool(const QString&, bool)>& replacement() {
    static std::function<bool(const QString&, bool)> opener;
    return opener;
}

} // namespace

bool DesktopOpener::open(const QString& target) {
    if (replacement())
        return replacement()(target, false);
    // Unchanged: a text without a scheme stays one, and the desktop says whether it can open it.
    return QDesktopServices::openUrl(QUrl(target, QUrl::StrictMode));
}

bool DesktopOpener::openInBrowser(const QString& target) {
    if (replacement())
        return replacement()(target, true);
    // The desktop's own opener, which asks the default browser for http and https addresses.
    return QProcess::startDetached(QStringLiteral("xdg-open"), {target});
}

void DesktopOpener::setForTests(std::function<bool(const QString&, bool)> opener) {
    replacement() = std::move(opener);
}
