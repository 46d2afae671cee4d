#include "ui/main/UserPinChecks.h"

#include "app/LanguageTable.h"
#include "token/TokenLibrary.h"
#include "ui/main/DialogService.h"
#include "ui/main/PageHost.h"
#include "ui/main/WindowState.h"

bool UserPinChecks::refusedAsLocked(PageHost& host, int32_t index) {
    PinState pin;
    host.tokenLibrary().token_get_pin_state(index, UserPinType, pin);
    if (pin.locked != PinState::Locked)
        return false;
    DialogService::information(host.dialogOwner(), textOf(TextKey::K_Dead));
    return true;
}

bool UserPinChecks::refusedUserPin(PageHost& host, int32_t index) {
    const KeySlot* slot = host.state().slot(index);
    if (slot && slot->info.initialized == 0) {
        DialogService::information(host.dialogOwner(), textOf(TextKey::Init_Info));
        return true;
    }
    return refusedAsLocked(host, index);
}
