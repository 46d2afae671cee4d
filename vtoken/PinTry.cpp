#include "vtoken/PinTry.h"

#include "vtoken/PinHash.h"

namespace vtoken {

PinTry countPinTry(Store& store, TokenRecord& token, PinRecord TokenRecord::*pin,
                   const std::function<bool()>& isRight) {
    PinRecord& record = token.*pin;
    if (record.locked())
        return PinTry::Locked;
    if (isRight()) {
        if (record.retryLeft != record.retryMax) {
            record.retryLeft = record.retryMax;
            store.updateToken(token);
        }
        return PinTry::Right;
    }
    --record.retryLeft;
    store.updateToken(token);
    return record.locked() ? PinTry::Locked : PinTry::Wrong;
}

PinTry tryTokenPin(Store& store, TokenRecord& token, PinRecord TokenRecord::*pin, std::string_view given) {
    return countPinTry(store, token, pin, [&] { return verifyPin(given, (token.*pin).hash); });
}

} // namespace vtoken
