#pragma once

#include <QStringView>

#include <cstdint>
#include <optional>

// Integer text as the configuration files write it: an optional sign, then decimal digits, or hexadecimal digits
// after "0x" or "$". Hexadecimal takes up to eight digits and wraps into 32 bits ("$FFFFFFFF" is -1), as the
// installer's tools wrote such values; a decimal value outside the 32-bit range is not a number.
std::optional<int32_t> parseInteger(QStringView text);
