#include "app/IniFile.h"

#include "app/IntegerText.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QString unquoted(QString value) {
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        value = value.sliced(1, value.size() - 2);
    return value;
}

} // namespace

IniFile::IniFile(QString path) : m_path(std::move(path)) {
    QFileInfo info(m_path);
    if (!info.exists())
        return;
    QFile file(m_path);
    if (!info.isFile() || info.size() > MaximumSize || !file.open(QIODevice::ReadOnly)) {
        m_readable = false;
        return;
    }
    const QByteArray bytes = file.read(MaximumSize + 1);
    if (bytes.size() > MaximumSize) {
        m_readable = false;
        return;
    }

    const QString text = TextEncoding::decodeFile(bytes, &m_encoding);
    Section* current = nullptr;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.front() == u';')
            continue;
        if (line.front() == u'[') {
            const qsizetype close = line.indexOf(u']');
            const QStringView name = close < 0 ? line.sliced(1) : line.sliced(1, close - 1);
            m_sections.append(Section{name.trimmed().toString(), {}});
            current = &m_sections.last();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!current || equals <= 0)
            continue;
        const QString key = line.first(equals).trimmed().toString();
        if (!key.isEmpty())
            current->entries.append(Entry{key, line.sliced(equals + 1).toString()});
    }
}

qsizetype IniFile::sectionIndex(const QString& name) const {
    for (qsizetype i = 0; i < m_sections.size(); ++i)
        if (m_sections[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QStringList IniFile::sectionNames() const {
    QStringList names;
    for (const Section& section : m_sections)
        names.append(section.name);
    return names;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& defaultValue) const {
    const qsizetype index = sectionIndex(section);
    if (index >= 0)
        for (const Entry& entry : m_sections[index].entries)
            if (entry.key.compare(key, Qt::CaseInsensitive) == 0)
                return unquoted(entry.value);
    return defaultValue;
}

int32_t IniFile::readInteger(const QString& section, const QString& key, int32_t defaultValue) const {
    const QString text = readString(section, key, QString());
    return parseInteger(text).value_or(defaultValue);
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    qsizetype index = sectionIndex(section);
    if (index < 0) {
        m_sections.append(Section{section, {}});
        index = m_sections.size() - 1;
    }
    for (Entry& entry : m_sections[index].entries) {
        if (entry.key.compare(key, Qt::CaseInsensitive) == 0) {
            entry.value = value;
            return;
        }
    }
    m_sections[index].entries.append(Entry{key, value});
}

void IniFile::writeInteger(const QString& section, const QString& key, int32_t value) {
    writeString(section, key, QString::number(value));
}

bool IniFile::save() const {
    QSaveFile file(m_path);
    return saveTo(file);
}

bool IniFile::saveTo(QSaveFile& file) const {
    QString text;
    for (const Section& section : m_sections) {
        text += u'[' + section.name + QStringLiteral("]\r\n");
        for (const Entry& entry : section.entries)
            text += entry.key + u'=' + entry.value + QStringLiteral("\r\n");
        text += QStringLiteral("\r\n");
    }
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // A short write (a full disk) leaves the old file as it was: half a profile is worse than the old one.
    const QByteArray bytes = TextEncoding::encodeFile(text, m_encoding);
    if (file.write(bytes) != bytes.size())
        file.cancelWriting();
    return file.commit();
}
