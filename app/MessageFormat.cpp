#include "app/MessageFormat.h"

#include <cstdint>
#include <optional>

namespace {

struct Specifier {
    bool leftJustify = false;
    int width = 0;
    std::optional<int> precision;
    QChar type;
};

std::optional<QString> convert(const Specifier& spec, const QVariant& argument) {
    const bool integral = argument.typeId() == QMetaType::Int || argument.typeId() == QMetaType::UInt ||
                          argument.typeId() == QMetaType::LongLong || argument.typeId() == QMetaType::ULongLong;
    switch (spec.type.toLower().unicode()) {
    case 'd': {
        if (!integral)
            return std::nullopt;
        const qint64 value = argument.toLongLong();
        QString digits = QString::number(value < 0 ? -value : value);
        if (spec.precision && digits.size() < *spec.precision)
            digits.prepend(QString(*spec.precision - digits.size(), u'0'));
        return value < 0 ? u'-' + digits : digits;
    }
    case 'u':
    case 'x': {
        if (!integral)
            return std::nullopt;
        // Codes are 32-bit: a negative one is shown as the unsigned value of its bits.
        const auto value = uint32_t(argument.toLongLong());
        QString digits = spec.type.toLower() == u'x' ? QString::number(value, 16).toUpper() : QString::number(value);
        if (spec.precision && digits.size() < *spec.precision)
            digits.prepend(QString(*spec.precision - digits.size(), u'0'));
        return digits;
    }
    case 'f': {
        bool ok = false;
        const double value = argument.toDouble(&ok);
        if (!ok || argument.typeId() == QMetaType::QString)
            return std::nullopt;
        return QString::number(value, 'f', spec.precision.value_or(2));
    }
    case 's': {
        if (argument.typeId() != QMetaType::QString)
            return std::nullopt;
        const QString text = argument.toString();
        return spec.precision ? text.left(*spec.precision) : text;
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
        Specifier spec;
        if (i < pattern.size() && pattern[i] == u'-') {
            spec.leftJustify = true;
            ++i;
        }
        for (; i < pattern.size() && pattern[i].isDigit() && spec.width < 1000; ++i)
            spec.width = spec.width * 10 + pattern[i].digitValue();
        if (i < pattern.size() && pattern[i] == u'.') {
            int precision = 0;
            for (++i; i < pattern.size() && pattern[i].isDigit() && precision < 1000; ++i)
                precision = precision * 10 + pattern[i].digitValue();
            spec.precision = precision;
        }
        if (i >= pattern.size()) {
            result += pattern.mid(start);
            break;
        }
        spec.type = pattern[i];
        std::optional<QString> text;
        if (next < arguments.size())
            text = convert(spec, arguments[next]);
        if (!text) {
            result += pattern.mid(start, i - start + 1);
            continue;
        }
        ++next;
        if (text->size() < spec.width)
            *text = spec.leftJustify ? text->leftJustified(spec.width) : text->rightJustified(spec.width);
        result += *text;
    }
    return result;
}
