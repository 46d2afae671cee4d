// The initialization page's operation: the token formatted from the template on the page.
#include "ui/administration/InitializationPage.h"

#include "app/AppInfo.h"
#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "platform/TextEncoding.h"
#include "token/SkfLibrary.h"
#include "token/StoreRegistration.h"
#include "token/TokenFormatParams.h"
#include "token/TokenLibrary.h"
#include "ui/administration/AdministratorChecks.h"
#include "ui/main/BusyCursor.h"
#include "ui/main/DialogService.h"
#include "ui/main/FormControls.h"
#include "ui/main/WindowState.h"

#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>

using namespace FormControls;

namespace {

// What trimming a typed name or PIN takes away: control characters and spaces at either end.
QString trimmedOfBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= u' ')
        ++first;
    while (last > first && text[last - 1].unicode() <= u' ')
        --last;
    return text.mid(first, last - first);
}

} // namespace

TTokenBaseInfo InitializationPage::collectTemplate() const {
    TTokenBaseInfo info;
    info.LabelName = edtInit_KeyName->text();
    info.manufacture = TextEncoding::toLocal8(edtInit_GS->text());
    info.Issuer = TextEncoding::toLocal8(edtInit_UnLockPIN->text());
    info.default_sopin = TextEncoding::toLocal8(edtInit_SPIN->text());
    info.default_upin = TextEncoding::toLocal8(edtInit_UPIN->text());
    info.uPinRetryTimes = edtInit_MaxCount->value();
    info.minUPINLen = edtInit_PINlenMin->value();
    info.maxUPINLen = edtInit_PINLenMax->value();
    info.soPinRetryTimes = edtInit_MaxCount_SOPIN->value();
    info.minSOPINLen = edtInit_SOPINlenMin->value();
    info.maxSOPINLen = edtInit_SOPINlenMax->value();
    // The template keeps the biometric retries equal to the PIN retries and the levels at 1, whatever the hidden
    // biometric tab shows.
    info.F_AdminRetryTimes = info.soPinRetryTimes;
    info.F_AdminLevel = 1;
    info.F_UserRetryTimes = info.uPinRetryTimes;
    info.F_UserLevel = 1;
    return info;
}

bool InitializationPage::fitsItsField(QLineEdit* field, qsizetype bytes, qsizetype room) {
    if (bytes <= room)
        return true;
    // The field's tab comes to the front, so that the keyboard really is in it.
    for (QWidget* up = field->parentWidget(); up; up = up->parentWidget()) {
        if (up->parentWidget() && up->parentWidget()->parentWidget() == tcInit)
            tcInit->setCurrentWidget(up);
    }
    field->setFocus();
    DialogService::information(m_host.dialogOwner(), textOf(TextKey::K_Len_Error));
    return false;
}

bool InitializationPage::provedSoPin(int32_t index, Pin& soPin) {
    QWidget* owner = m_host.dialogOwner();
    TokenLibrary& tokens = m_host.tokenLibrary();
    if (!DialogService::question(owner, textOf(TextKey::K_Init_Info) + u'\r' + textOf(TextKey::K_Init_try)))
        return false;
    PinState so;
    tokens.token_get_pin_state(index, SoPinType, so);
    if (so.locked == PinState::Locked) {
        DialogService::information(owner, textOf(TextKey::K_Dead));
        return false;
    }
    QString typed;
    DialogService::maskedInput(owner, textOf(TextKey::K_Verify), labelText(TextKey::K_InputSOPIN), typed);
    soPin = Pin(trimmedOfBlanks(typed));
    typed.fill(u'\0');
    // Cancel, or nothing but blanks, ends it without a word.
    if (soPin.isEmpty())
        return false;
    return AdministratorChecks::loggedInSo(m_host, index, soPin);
}

void InitializationPage::AcInitExecute() {
    WindowState& state = m_host.state();
    const int32_t index = state.CurrentKey;
    KeySlot* slot = state.slot(index);
    if (!slot)
        return;
    QWidget* owner = m_host.dialogOwner();
    TokenLibrary& tokens = m_host.tokenLibrary();
    SkfLibrary& skf = m_host.skfLibrary();

    const qsizetype soPinLength = characterCount(edtInit_SPIN->text());
    if (soPinLength < edtInit_SOPINlenMin->value() || soPinLength > edtInit_SOPINlenMax->value()) {
        DialogService::information(owner, textOf(TextKey::SOPIN_E2));
        return;
    }
    const qsizetype userPinLength = characterCount(edtInit_UPIN->text());
    if (userPinLength < edtInit_PINlenMin->value() || userPinLength > edtInit_PINLenMax->value()) {
        DialogService::information(owner, textOf(TextKey::UPIN_E2));
        return;
    }
    const TTokenBaseInfo info = collectTemplate();
    // Each text has a field of its own in the format block; one that does not fit is refused, never cut into the
    // next field.
    if (!fitsItsField(edtInit_KeyName, info.LabelName.toUtf8().size(), TTokenFormatParams::LabelBytes) ||
        !fitsItsField(edtInit_GS, info.manufacture.size(), TTokenFormatParams::TextField) ||
        !fitsItsField(edtInit_UnLockPIN, info.Issuer.size(), TTokenFormatParams::TextField) ||
        !fitsItsField(edtInit_SPIN, info.default_sopin.size(), TTokenFormatParams::TextField) ||
        !fitsItsField(edtInit_UPIN, info.default_upin.size(), TTokenFormatParams::TextField))
        return;

    // A token never initialized has no SO PIN to prove and nothing on it to lose.
    Pin soPin;
    if (slot->info.initialized != 0 && !provedSoPin(index, soPin))
        return;
    tokens.token_logout(index);
    slot->KeyState = KeySlot::Present;
    const TTokenFormatParams params = TTokenFormatParams::from(info);

    int32_t rv = 0;
    {
        const BusyCursor busy;
        StoreRegistration::RemoveCspCertificates(m_host.appInfo().CSPName);
        tokens.SetTokenLabel(index, trimmedOfBlanks(info.LabelName));
        SKF_ULONG retries = 0;
        skf.SKF_VerifyPIN(skf.CurrentApplication(), SKF_PIN_ADMIN, soPin, retries);
        rv = tokens.token_format(index, params.bytes.data());
    }
    if (rv != 0) {
        DialogService::information(owner, textOf(TextKey::Change_No) + Format(QStringLiteral("(%d)"), {rv}));
        return;
    }

    // A module without the vendor extension formats as plain PKCS#11 does: label and PINs only.
    uint32_t features = 0;
    tokens.token_get_features(index, features);
    const bool plain = (features & ZV_FEATURE_VENDOR_EXTENSION) == 0;

    SaveInitTemplate(templatePath(ProgramFileUse::Write), info);
    skf.SkfDiscover();
    SKF_ULONG retries = 0;
    skf.SKF_VerifyPIN(skf.CurrentApplication(), SKF_PIN_ADMIN, Pin(edtInit_SPIN->text()), retries);
    skf.SKF_InitializeFinger(skf.CurrentApplication(), SKF_ULONG(edtInit_UPINTry->value()),
                             SKF_ULONG(edtInit_SOPINTry->value()), SKF_ULONG(edtInit_UPINLeve->value()),
                             SKF_ULONG(edtInit_SOPINLeve->value()));
    m_host.DiscoverKeys();
    DialogService::information(owner, plain ? textOf(TextKey::Change_Yes) + u'\n' + textOf(TextKey::K_Init_Plain)
                                            : textOf(TextKey::Change_Yes));
}
