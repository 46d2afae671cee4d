#include "app/MessageFormat.h"

#include <QLocale>

#include <cstdint>
#include <optional>

namespace {

struct Specifier {
    bool leftJustify = false;
    int width = 0;
    std::optional<int> precision;
    QChar type;
};

std::optional<QString> convert(const Specifier& specifier, const QVariant& argument) {
    const bool integral = argument.typeId() == QMetaType::Int || argument.typeId() == QMetaType::UInt ||
                          argument.typeId() == QMetaType::LongLong || argument.typeId() == QMetaType::ULongLong;
    switch (specifier.type.toLower().unicode()) {
    case 'd': {
        if (!integral)
            return std::nullopt;
        const qint64 value = argument.toLongLong();
        QString digits = QString::number(value < 0 ? -value : value);
        if (specifier.precision && digits.size() < *specifier.precision)
            digits.prepend(QString(*specifier.precision - digits.size(), u'0'));
        return value < 0 ? u'-' + digits : digits;
    }
    case 'u':
    case 'x': {
        if (!integral)
            return std::nullopt;
        // Codes are 32-bit: a negative one is shown as the unsigned value of its bits.
        const auto value = uint32_t(argument.toLongLong());
        QString digits =
            specifier.type.toLower() == u'x' ? QString::number(value, 16).toUpper() : QString::number(value);
        if (specifier.precision && digits.size() < *specifier.precision)
            digits.prepend(QString(*specifier.precision - digits.size(), u'0'));
        return digits;
    }
    case 'f': {
        bool ok = false;
        const double value = argument.toDouble(&ok);
        if (!ok || argument.typeId() == QMetaType::QString)
            return std::nullopt;
        return QString::number(value, 'f', specifier.precision.value_or(2));
    }
    case 's': {
        if (argument.typeId() != QMetaType::QString)
            return std::nullopt;
        const QString text = argument.toString();
        return specifier.precision ? text.left(*specifier.precision) : text;
    }
    default:
        return std::nullopt;
    }
}

} // namespace

QString Format(const QString& pattern, const QVariantList& arguments) {
    QString result;
    qsizetype next = 0;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != u'%') {
            result += pattern[i];
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == u'%') {
            result += u'%';
            ++i;
            continue;
        }
        const qsizetype start = i++;
        Specifier specifier;
        if (i < pattern.size() && pattern[i] == u'-') {
            specifier.leftJustify = true;
            ++i;
        }
        for (; i < pattern.size() && pattern[i].isDigit() && specifier.width < 1000; ++i)
            specifier.width = specifier.width * 10 + pattern[i].digitValue();
        if (i < pattern.size() && pattern[i] == u'.') {
            int precision = 0;
            for (++i; i < pattern.size() && pattern[i].isDigit() && precision < 1000; ++i)
                precision = precision * 10 + pattern[i].digitValue();
            specifier.precision = precision;
        }
        if (i >= pattern.size()) {
            result += pattern.mid(start);
            break;
        }
        specifier.type = pattern[i];
        std::optional<QString> text;
        if (next < arguments.size())
            text = convert(specifier, arguments[next]);
        if (!text) {
            result += pattern.mid(start, i - start + 1);
            continue;
        }
        ++next;
        if (text->size() < specifier.width)
            *text =
                specifier.leftJustify ? text->leftJustified(specifier.width) : text->rightJustified(specifier.width);
        result += *text;
    }
    return result;
}

QString ShortDateLongTime(const QDateTime& moment) {
    const QLocale locale;
    QString text = locale.toString(moment.date(), QLocale::ShortFormat);
    // Qt's long time names the time zone; the moment is local time, and the zone says nothing here.
    if (moment.time() != QTime(0, 0))
        text += u' ' + locale.toString(moment.time(), locale.timeFormat(QLocale::LongFormat).remove(u't').trimmed());
    return text;
}
