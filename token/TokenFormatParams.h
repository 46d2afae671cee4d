#pragma once

#include "app/InitTemplate.h"

#include <array>
#include <cstddef>
#include <cstdint>

// The parameter block token_format takes: five texts of 32 bytes, zero-padded (label in UTF-8, at most 31 bytes;
// manufacturer, issuer, new SO PIN and new user PIN in the locale's 8-bit encoding), then one byte each for the
// user PIN retries, SO PIN retries, user PIN minimum and maximum length, SO PIN minimum and maximum length.
struct TTokenFormatParams {
    static constexpr size_t Size = 166;
    static constexpr size_t TextField = 32;
    static constexpr size_t LabelBytes = TextField - 1; // the label always ends with a zero byte

    std::array<uint8_t, Size> bytes{};

    // The block for a template whose texts fit their fields (the caller checks: a text too long is cut here, never
    // written into the next field).
    static TTokenFormatParams from(const TTokenBaseInfo& info);
};
