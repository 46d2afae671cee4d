#include "ui/administration/AdministratorChecks.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "token/TokenLibrary.h"
#include "ui/main/DialogService.h"
#include "ui/main/PageHost.h"
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
    if (host.tokenLibrary().token_login_so(index, soPin, remaining) == 0)
        return true;
    DialogService::information(host.dialogOwner(), remaining != 0 ? Format(textOf(TextKey::K_OldCheck), {remaining})
                                                                  : textOf(TextKey::K_Dead));
    return false;
}
