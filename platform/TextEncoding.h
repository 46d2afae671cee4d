#pragma once

#include <QByteArray>
#include <QString>

// The one place where text changes encoding. Libraries and INI files speak 8-bit text; the program speaks UTF-16.
namespace TextEncoding {

// The encodings a text file may arrive in; a file is written back in the one it was read in.
enum class FileEncoding { Utf8, Utf8Bom, Utf16LeBom, Utf16BeBom, Gb18030 };

// The "system ANSI code page" of the libraries: the locale's encoding, normally UTF-8.
QByteArray toLocal8(const QString& text);
QString fromLocal8(const QByteArray& bytes);

// Window messages carry UTF-16LE text.
QByteArray toUtf16Le(const QString& text);
QString fromUtf16Le(QByteArrayView bytes);

// Reads a text file's bytes: a BOM decides UTF-8 or UTF-16; without one, valid UTF-8 is UTF-8 and anything else is
// taken as GB18030, the encoding that Chinese Windows wrote such files in.
QString decodeFile(const QByteArray& bytes, FileEncoding* detected = nullptr);
QByteArray encodeFile(const QString& text, FileEncoding encoding);

} // namespace TextEncoding
