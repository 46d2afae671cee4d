#include "token/TokenFormatParams.h"

#include <algorithm>
#include <cstring>

TTokenFormatParams TTokenFormatParams::from(const TTokenBaseInfo& info) {
    TTokenFormatParams params;
    const auto text = [&](size_t field, const QByteArray& value, size_t room) {
        std::memcpy(params.bytes.data() + field * TextField, value.constData(), std::min(size_t(value.size()), room));
    };
    text(0, info.LabelName.toUtf8(), LabelBytes);
    text(1, info.manufacture, TextField);
    text(2, info.Issuer, TextField);
    text(3, info.default_sopin, TextField);
    text(4, info.default_upin, TextField);
    uint8_t* counts = params.bytes.data() + 5 * TextField;
    for (const int32_t value : {info.uPinRetryTimes, info.soPinRetryTimes, info.minUPINLen, info.maxUPINLen,
                                info.minSOPINLen, info.maxSOPINLen})
        *counts++ = uint8_t(value);
    return params;
}
