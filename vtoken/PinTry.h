#pragma once

#include "vtoken/Store.h"

#include <functional>
#include <string_view>

namespace vtoken {

// What one try at a PIN came to.
enum class PinTry { Right, Wrong, Locked };

// Counts one try against a PIN's retry counter, inside the caller's transaction. A locked PIN gives Locked and the
// try is never judged; a wrong try counts down and gives Wrong, or Locked on the try that locks it; a right one
// restores the counter. The token record is written back when the counter moved. isRight judges the try, so that
// what stands in for a PIN (the issuer's answer to a remote unblock request stands in for the SO PIN) spends the
// same counter.
PinTry countPinTry(Store& store, TokenRecord& token, PinRecord TokenRecord::*pin, const std::function<bool()>& isRight);

// A try with the PIN's own text: what the PKCS#11 module's logins and the SKF library's PIN checks share.
PinTry tryTokenPin(Store& store, TokenRecord& token, PinRecord TokenRecord::*pin, std::string_view given);

} // namespace vtoken
