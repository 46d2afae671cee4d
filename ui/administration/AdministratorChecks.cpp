#include "ui/administration/AdministratorChecks.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "token/TokenLibrary.h"
#include "ui/main/DialogService.h"
#include "ui/main/PageHost.h"
#include "ui/main/UserPinChecks.h"
#include "ui/main/WindowState.h"

bool AdministratorChecks::refusedSoPin(PageHost& host, int32_t index) {
    const KeySlot* slot = host.state().slot(index);
    if (!slot || slot->info.initialized == 0) {
        DialogService::information(host.dialogOwner(), textOf(TextKey::Init_Info));
        return true;
    }
    PinState so;
    host.tokenLibrary().token_get_pin_state(index, SoPinType, so);
    if (so.locked != PinState::Locked)
        return false;
    DialogService::information(host.dialogOwner(), textOf(TextKey::K_Dead));
    return true;
}

bool AdministratorChecks::loggedInSo(PageHost& host, int32_t index, const Pin& soPin) {
    int32_t remaining = 0;
    const int32_t rv = host.tokenLibrary().token_login_so(index, soPin, remaining);
    if (rv == 0)
        return true;
    // A module that cannot count tries, or a failure that is not the PIN's (a token pulled out), is not told as a
    // count of tries.
    DialogService::information(host.dialogOwner(),
                               UserPinChecks::refusalText(rv, remaining, TextKey::Change_No, [](int32_t left) {
                                   return Format(textOf(TextKey::K_OldCheck), {left});
                               }));
    return false;
}
