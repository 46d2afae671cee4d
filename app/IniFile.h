#pragma once

#include "platform/TextEncoding.h"

#include <QList>
#include <QString>

class QSaveFile;
#include <QStringList>

#include <cstdint>

// A configuration file with the rules of Windows private-profile files: sections and keys match without regard to
// case and the first match wins; values come back trimmed and without one pair of enclosing quotes; a missing file,
// section or key gives the caller's default. Reading accepts the encodings of TextEncoding::decodeFile; writing
// replaces the whole file at once, in the encoding it was read in.
class IniFile {
public:
    // Files beyond this size are not configuration files; they read as unreadable rather than tying up memory.
    static constexpr qint64 MaximumSize = 4 * 1024 * 1024;

    explicit IniFile(QString path);

    // False when the file exists but could not be read (no permission, a directory, too large). A missing file is
    // not an error: it reads as empty.
    bool isReadable() const { return m_readable; }
    const QString& path() const { return m_path; }

    QStringList sectionNames() const;
    QString readString(const QString& section, const QString& key, const QString& defaultValue) const;
    int32_t readInteger(const QString& section, const QString& key, int32_t defaultValue) const;

    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int32_t value);
    // Writes the file through a temporary file and a rename, so a reader sees the old or the new file, never half.
    // Comment lines are not kept; the program writes only files that it alone maintains.
    bool save() const;
    // The same into file, which is opened on the file's path; the seam through which tests make writing fail.
    bool saveTo(QSaveFile& file) const;

private:
    struct Entry {
        QString key;
        QString value;
    };
    struct Section {
        QString name;
        QList<Entry> entries;
    };

    qsizetype sectionIndex(const QString& name) const;

    QString m_path;
    bool m_readable = true;
    TextEncoding::FileEncoding m_encoding = TextEncoding::FileEncoding::Utf8;
    QList<Section> m_sections;
};
