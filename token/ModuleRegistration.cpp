#include "token/ModuleRegistration.h"

#include "shared/CertificateDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <dlfcn.h>
#include <link.h>

namespace {

// Where p11-kit loads a module that its file names without a path; taken from p11-kit's pkg-config file.
constexpr const char* P11KitModuleDirectory = VX_P11_MODULE_PATH;

// How long modutil may take before it is given up.
constexpr int ModutilTimeout = 30000;

QString canonical(const QString& path) {
    return path.isEmpty() ? QString() : QFileInfo(path).canonicalFilePath();
}

QString home() {
    const QString directory = qEnvironmentVariable("HOME");
    return QDir::isAbsolutePath(directory) ? QDir::cleanPath(directory) : QString();
}

// The user's p11-kit module folder, where p11-kit puts it: $XDG_CONFIG_HOME/pkcs11/modules, else under ~/.config.
QString userModuleFolder() {
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(config))
        return QDir::cleanPath(config) + QStringLiteral("/pkcs11/modules");
    const QString directory = home();
    return directory.isEmpty() ? QString() : directory + QStringLiteral("/.config/pkcs11/modules");
}

// The user's folder first: a file there of the same name overrides the system's.
QStringList moduleFolders() {
    QStringList folders;
    if (const QString user = userModuleFolder(); !user.isEmpty())
        folders << user;
    folders << QStringLiteral("/etc/pkcs11/modules") << QStringLiteral("/usr/share/p11-kit/modules");
    return folders;
}

// The name modules go by: libvtoken-pkcs11.so.1 becomes vtoken-pkcs11.
QString moduleName(const QString& path) {
    QString name = QFileInfo(path).fileName();
    for (qsizetype at = name.indexOf(QLatin1String(".so")); at >= 0; at = name.indexOf(QLatin1String(".so"), at + 1)) {
        if (at + 3 == name.size() || name.at(at + 3) == u'.') {
            name.truncate(at);
            break;
        }
    }
    if (name.startsWith(QLatin1String("lib")) && name.size() > 3)
        name.remove(0, 3);
    // A hidden file would not be read.
    return name.isEmpty() || name.startsWith(u'.') ? QStringLiteral("token-module") : name;
}

// The "module:" value of a p11-kit module file, as p11-kit reads it: "key: value" lines, '#' comments.
QString moduleValue(const QString& file) {
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& raw : input.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed() == "module")
            return QFile::decodeName(line.mid(colon + 1).trimmed());
    }
    return {};
}

// The file a module value stands for: a path relative to p11-kit's module directory unless absolute or under ~.
QString resolvedModule(const QString& value) {
    if (value.isEmpty())
        return {};
    if (value.startsWith(QLatin1String("~/")))
        return home().isEmpty() ? QString() : canonical(home() + value.mid(1));
    if (QDir::isAbsolutePath(value))
        return canonical(value);
    return canonical(QString::fromUtf8(P11KitModuleDirectory) + u'/' + value);
}

// Creates the folders of path that are missing, each for the user alone.
bool makePrivateFolder(const QString& path) {
    if (QFileInfo(path).isDir())
        return true;
    const QString parent = QFileInfo(path).path();
    if (parent == path || !makePrivateFolder(parent))
        return false;
    return QDir().mkdir(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) || QFileInfo(path).isDir();
}

// The module files of the user's and the system's p11-kit folders.
QFileInfoList p11KitModuleFiles() {
    QFileInfoList files;
    for (const QString& folder : moduleFolders())
        files += QDir(folder).entryInfoList({QStringLiteral("*.module")}, QDir::Files);
    return files;
}

bool knownToP11Kit(const QString& modulePath) {
    const QFileInfoList files = p11KitModuleFiles();
    return std::any_of(files.begin(), files.end(), [&](const QFileInfo& file) {
        return resolvedModule(moduleValue(file.filePath())) == modulePath;
    });
}

void registerWithP11Kit(const QString& modulePath) {
    const QString userFolder = userModuleFolder();
    if (userFolder.isEmpty() || knownToP11Kit(modulePath))
        return;
    // Names taken in any folder: a user file of a system module's name would change that module's settings.
    QSet<QString> taken;
    for (const QFileInfo& file : p11KitModuleFiles())
        taken.insert(file.completeBaseName());
    const QString base = moduleName(modulePath);
    QString name = base;
    for (int number = 2; taken.contains(name); ++number)
        name = base + u'-' + QString::number(number);
    if (!makePrivateFolder(userFolder))
        return;
    QSaveFile file(userFolder + u'/' + name + QStringLiteral(".module"));
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write("module: " + QFile::encodeName(modulePath) + '\n');
    file.commit();
}

// The modules of an NSS database's module list (pkcs11.txt): "name=" and "library=" lines.
struct NssModules {
    QSet<QString> names;
    bool listed = false;
};

NssModules nssModules(const QString& directory, const QString& modulePath) {
    NssModules modules;
    QFile list(directory + QStringLiteral("/pkcs11.txt"));
    if (!list.open(QIODevice::ReadOnly))
        return modules;
    for (const QByteArray& raw : list.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith("name=")) {
            modules.names.insert(QString::fromUtf8(line.mid(5)));
        } else if (line.startsWith("library=")) {
            QString library = QFile::decodeName(line.mid(8));
            if (library.size() >= 2 && library.startsWith(u'"') && library.endsWith(u'"'))
                library = library.mid(1, library.size() - 2);
            if (library == modulePath || canonical(library) == modulePath)
                modules.listed = true;
        }
    }
    return modules;
}

void registerWithNss(const QString& modulePath) {
    const QString directory = QString::fromStdString(zv::CertificateDatabase::defaultDirectory());
    const QString modutil = QStandardPaths::findExecutable(QStringLiteral("modutil"));
    if (directory.isEmpty() || modutil.isEmpty())
        return;
    const NssModules modules = nssModules(directory, modulePath);
    if (modules.listed)
        return;
    // A missing database is created the way the certificate registration creates it (private folders, an empty
    // password, as browsers expect), rather than by modutil -create, which leaves the key database without one.
    // Only the database is opened here: NSS in this process never loads the module list, since it would finalize
    // the module the token library drives.
    if (!QFileInfo::exists(directory + QStringLiteral("/cert9.db")) &&
        zv::CertificateDatabase::create(directory.toStdString()) != 0)
        return;
    const QString base = moduleName(modulePath);
    QString name = base;
    for (int number = 2; modules.names.contains(name); ++number)
        name = base + u' ' + QString::number(number);
    // modutil loads the module to add it, in a process of its own; -force skips its question whether the browser
    // runs, and a closed input answers any other.
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(modutil, {QStringLiteral("-dbdir"), QStringLiteral("sql:") + directory, QStringLiteral("-add"), name,
                            QStringLiteral("-libfile"), modulePath, QStringLiteral("-force")});
    if (!process.waitForFinished(ModutilTimeout)) {
        process.kill();
        process.waitForFinished();
    }
}

} // namespace

QString ModuleRegistration::absoluteModulePath(const QString& located) {
    if (located.isEmpty())
        return {};
    if (QDir::isAbsolutePath(located))
        return canonical(located);
    // A name the loader looked up: ask it, without loading anything, which file it took.
    void* handle = dlopen(QFile::encodeName(located).constData(), RTLD_LAZY | RTLD_NOLOAD);
    if (!handle)
        return {};
    QString path;
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name)
        path = QFile::decodeName(map->l_name);
    dlclose(handle);
    return canonical(path);
}

void ModuleRegistration::registerForUser(const QString& modulePath) {
    if (!QDir::isAbsolutePath(modulePath))
        return;
    const QString path = canonical(modulePath);
    // A path that a line-based file cannot hold is not written into one.
    if (path.isEmpty() || std::any_of(path.begin(), path.end(), [](QChar c) { return c.unicode() < 0x20; }))
        return;
    registerWithP11Kit(path);
    registerWithNss(path);
}

bool ModuleRegistration::isRegisteredForUser(const QString& modulePath) {
    const QString path = canonical(modulePath);
    const QString directory = QString::fromStdString(zv::CertificateDatabase::defaultDirectory());
    return !path.isEmpty() && knownToP11Kit(path) && !directory.isEmpty() && nssModules(directory, path).listed;
}
