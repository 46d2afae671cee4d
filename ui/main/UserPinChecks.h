#pragma once

#include "app/TextKey.h"

#include <QString>

#include <cstdint>
#include <functional>

class PageHost;

// The checks that come before the user PIN is presented, shared by the login and the PIN and label changes. Each
// tells the user why it refuses.
namespace UserPinChecks {

// True, once the user has been told, when the token's user PIN is locked.
bool refusedAsLocked(PageHost& host, int32_t index);
// The same, and also when the token was never initialized: it takes no user PIN then.
bool refusedUserPin(PageHost& host, int32_t index);

// What the user is told when the token refused a PIN with rv and reported remaining tries: for a wrong PIN,
// wrongPin with the count (a count the module cannot tell leaves K_PIN_Error alone), or K_Dead when no try is
// left or the PIN is blocked; for any failure that is not the PIN's, failure followed by the code.
QString refusalText(int32_t rv, int32_t remaining, TextKey failure, const std::function<QString(int32_t)>& wrongPin);
// An operation's failure text followed by the code, as the pages write codes.
QString failureWithCode(TextKey failure, int32_t rv);

} // namespace UserPinChecks
