#include "ui/main/UserPinChecks.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
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
    if (!slot)
        return true;
    if (slot->info.initialized == 0) {
        DialogService::information(host.dialogOwner(), textOf(TextKey::Init_Info));
        return true;
    }
    return refusedAsLocked(host, index);
}

QString UserPinChecks::refusalText(int32_t rv, int32_t remaining, TextKey failure,
                                   const std::function<QString(int32_t)>& wrongPin) {
    // A token pulled out or a device error is not a wrong PIN, whatever count came with it.
    if (!TokenLibrary::isPinRefusal(rv))
        return failureWithCode(failure, rv);
    if (remaining == 0 || rv == TokenLibrary::PinLocked)
        return textOf(TextKey::K_Dead);
    return remaining > 0 ? wrongPin(remaining) : textOf(TextKey::K_PIN_Error);
}

QString UserPinChecks::failureWithCode(TextKey failure, int32_t rv) {
    return textOf(failure) + textOf(TextKey::K_ErrorCODE_Str) + QStringLiteral(" = 0x") +
           Format(QStringLiteral("%.8x"), {rv});
}
