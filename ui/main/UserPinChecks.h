#pragma once

#include <cstdint>

class PageHost;

// The checks that come before the user PIN is presented, shared by the login and the PIN and label changes. Each
// tells the user why it refuses.
namespace UserPinChecks {

// True, once the user has been told, when the token's user PIN is locked.
bool refusedAsLocked(PageHost& host, int32_t index);
// The same, and also when the token was never initialized: it takes no user PIN then.
bool refusedUserPin(PageHost& host, int32_t index);

} // namespace UserPinChecks
