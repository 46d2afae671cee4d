// The certificate page's deletions and the user's certificate store: registering the token's certificates there,
// and taking the provider's out again.
#include "ui/main/CertificatePage.h"

#include "app/AppInfo.h"
#include "app/LanguageTable.h"
#include "token/ModuleRegistration.h"
#include "token/StoreRegistration.h"
#include "token/TokenLibrary.h"
#include "ui/main/BusyCursor.h"
#include "ui/main/DialogService.h"
#include "ui/main/UserPinChecks.h"
#include "ui/main/WindowState.h"

#include <QAction>
#include <QTimer>
#include <QTreeWidget>

void CertificatePage::AcDelCertExecute() {
    const std::optional<CertificateChoice> choice = SelectedCertificate();
    const KeySlot* slot = m_host.state().currentSlot();
    if (!choice || !slot)
        return;
    deleteWhenConfirmed([&] {
        return m_host.tokenLibrary().container_delete_cert(
            m_host.state().CurrentKey, slot->info.containerNames[size_t(choice->container)], choice->usage);
    });
}

void CertificatePage::AcDelExecute() {
    const std::optional<int> position = selectedContainer();
    const KeySlot* slot = m_host.state().currentSlot();
    if (!position || !slot)
        return;
    deleteWhenConfirmed([&] {
        return m_host.tokenLibrary().container_delete(m_host.state().CurrentKey,
                                                      slot->info.containerNames[size_t(*position)]);
    });
}

void CertificatePage::deleteWhenConfirmed(const std::function<int32_t()>& deletion) {
    QWidget* owner = m_host.dialogOwner();
    if (DialogService::question(owner, textOf(TextKey::K_DEL_YES_NO))) {
        const BusyCursor busy;
        if (const int32_t rv = deletion(); rv != 0)
            DialogService::information(owner, UserPinChecks::failureWithCode(TextKey::K_DEL_Error, rv));
        else
            afterDeletion();
    }
    tvCert->setFocus();
}

// The store cannot tell which of the provider's certificates came from the deleted objects, so all of them leave
// and every connected token registers its own again.
void CertificatePage::afterDeletion() {
    removeProviderCertificates();
    BuildCertTree(m_host.state().CurrentKey);
    for (int32_t index = 0; index < m_host.state().KeyCount; ++index)
        registerCertificates(index);
    UpdateCertActions();
}

void CertificatePage::AcRegCertExecute() {
    const int32_t rv = registerCertificates(m_host.state().CurrentKey);
    DialogService::information(m_host.dialogOwner(), textOf(rv == 0 ? TextKey::Change_Yes : TextKey::Change_No));
}

void CertificatePage::AcUnRegCertExecute() {
    removeProviderCertificates();
    DialogService::information(m_host.dialogOwner(), textOf(TextKey::Change_Yes));
}

void CertificatePage::TRegCertTimer() {
    TRegCert->stop();
    registerCertificates(m_host.state().CurrentKey);
}

int32_t CertificatePage::registerCertificates(int32_t index) {
    KeySlot* slot = m_host.state().slot(index);
    if (!slot)
        return TokenLibrary::NoTokenFound;
    const TAPPInfo& profile = m_host.appInfo();
    TokenLibrary& tokens = m_host.tokenLibrary();
    const int32_t rv =
        StoreRegistration::RegisterTokenCertificates(tokens, index, slot->info, profile.CSPName, profile.RegCertMode);
    // Browsers reach the keys of the registered certificates through the token's module. It is registered once a
    // session: a module list that refuses it is not asked again at every registration.
    if (rv == 0 && m_registeredModule != tokens.modulePath()) {
        m_registeredModule = tokens.modulePath();
        ModuleRegistration::registerForUser(ModuleRegistration::absoluteModulePath(m_registeredModule));
    }
    return rv;
}

int32_t CertificatePage::removeProviderCertificates() {
    return StoreRegistration::RemoveCspCertificates(m_host.appInfo().CSPName);
}
