#pragma once

#include <cstdint>

class PageHost;
class Pin;

// The checks the administrator's operations make before they present the SO PIN. Each tells the user why it
// refuses.
namespace AdministratorChecks {

// True, once the user has been told, when the token was never initialized (it has no SO PIN yet) or its SO PIN is
// locked.
bool refusedSoPin(PageHost& host, int32_t index);
// Logs the SO in with soPin; false, once the user has been told the tries left (or that the SO PIN is locked, or
// the failure's code), when the token refused it.
bool loggedInSo(PageHost& host, int32_t index, const Pin& soPin);

} // namespace AdministratorChecks
