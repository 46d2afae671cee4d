#include "platform/TextEncoding.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace TextEncoding {
namespace {

bool startsWith(const QByteArray& bytes, std::initializer_list<unsigned char> prefix) {
    if (bytes.size() < qsizetype(prefix.size()))
        return false;
    qsizetype i = 0;
    for (unsigned char c : prefix)
        if (static_cast<unsigned char>(bytes[i++]) != c)
            return false;
    return true;
}

QString decodeWith(QStringConverter::Encoding encoding, QByteArrayView bytes) {
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

bool isValidUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString ignored = decoder.decode(bytes);
    return !decoder.hasError();
}

} // namespace

QByteArray toLocal8(const QString& text) {
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(text);
}

QString fromLocal8(const QByteArray& bytes) {
    return decodeWith(QStringConverter::System, bytes);
}

QByteArray toUtf16Le(const QString& text) {
    QStringEncoder encoder(QStringConverter::Utf16LE);
    return encoder.encode(text);
}

QString fromUtf16Le(QByteArrayView bytes) {
    return decodeWith(QStringConverter::Utf16LE, bytes);
}

QString decodeFile(const QByteArray& bytes, FileEncoding* detected) {
    FileEncoding encoding = FileEncoding::Utf8;
    QString text;
    if (startsWith(bytes, {0xEF, 0xBB, 0xBF})) {
        encoding = FileEncoding::Utf8Bom;
        text = decodeWith(QStringConverter::Utf8, QByteArrayView(bytes).sliced(3));
    } else if (startsWith(bytes, {0xFF, 0xFE})) {
        encoding = FileEncoding::Utf16LeBom;
        text = decodeWith(QStringConverter::Utf16LE, QByteArrayView(bytes).sliced(2));
    } else if (startsWith(bytes, {0xFE, 0xFF})) {
        encoding = FileEncoding::Utf16BeBom;
        text = decodeWith(QStringConverter::Utf16BE, QByteArrayView(bytes).sliced(2));
    } else if (isValidUtf8(bytes)) {
        text = decodeWith(QStringConverter::Utf8, bytes);
    } else {
        QStringDecoder gb18030("GB18030", QStringConverter::Flag::Stateless);
        if (gb18030.isValid()) {
            encoding = FileEncoding::Gb18030;
            text = gb18030.decode(bytes);
        } else {
            text = decodeWith(QStringConverter::Latin1, bytes);
        }
    }
    if (detected)
        *detected = encoding;
    return text;
}

QByteArray encodeFile(const QString& text, FileEncoding encoding) {
    switch (encoding) {
    case FileEncoding::Utf8Bom:
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case FileEncoding::Utf16LeBom:
        return QByteArray("\xFF\xFE") + toUtf16Le(text);
    case FileEncoding::Utf16BeBom: {
        QStringEncoder encoder(QStringConverter::Utf16BE);
        return QByteArray("\xFE\xFF") + QByteArray(encoder.encode(text));
    }
    case FileEncoding::Gb18030: {
        QStringEncoder encoder("GB18030");
        if (encoder.isValid())
            return encoder.encode(text);
        return text.toUtf8();
    }
    case FileEncoding::Utf8:
        break;
    }
    return text.toUtf8();
}

} // namespace TextEncoding
