#include "token/LibraryVersion.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <p11-kit/pkcs11.h>

#include <dlfcn.h>

namespace {

QString fileNameVersion(const QString& path) {
    static const QRegularExpression version(QStringLiteral("\\.so\\.([0-9]+(\\.[0-9]+)*)$"));
    const QRegularExpressionMatch match = version.match(QFileInfo(path).canonicalFilePath());
    return match.hasMatch() ? match.captured(1) : QString();
}

// The module's own version; empty when the file is no PKCS#11 module or does not tell.
QString moduleVersion(void* library) {
    const auto getFunctionList = reinterpret_cast<CK_C_GetFunctionList>(dlsym(library, "C_GetFunctionList"));
    CK_FUNCTION_LIST_PTR functions = nullptr;
    if (!getFunctionList || getFunctionList(&functions) != CKR_OK || !functions)
        return {};
    // Initialized by this call only when nobody in the process had: then it is finalized again.
    const CK_RV initialized = functions->C_Initialize(nullptr);
    if (initialized != CKR_OK && initialized != CKR_CRYPTOKI_ALREADY_INITIALIZED)
        return {};
    CK_INFO info{};
    const bool told = functions->C_GetInfo(&info) == CKR_OK;
    if (initialized == CKR_OK)
        functions->C_Finalize(nullptr);
    return told ? LibraryVersion::versionText(info.libraryVersion.major, info.libraryVersion.minor) : QString();
}

} // namespace

QString LibraryVersion::versionText(uint8_t major, uint8_t minor) {
    return QStringLiteral("%1.%2").arg(major).arg(minor, 2, 10, QLatin1Char('0'));
}

QString LibraryVersion::text(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {};
    const QByteArray file = QFile::encodeName(path);
    void* library = dlopen(file.constData(), RTLD_LAZY | RTLD_LOCAL | RTLD_NOLOAD);
    if (!library)
        library = dlopen(file.constData(), RTLD_LAZY | RTLD_LOCAL);
    if (!library)
        return QStringLiteral("-1");
    const QString version = moduleVersion(library);
    dlclose(library);
    return version.isEmpty() ? fileNameVersion(path) : version;
}
