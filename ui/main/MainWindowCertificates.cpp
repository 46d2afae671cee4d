// The logged-in token's certificate tree: how it is built, which certificate operations the selection allows,
// and the display and refresh of certificates.

#include "ui/main/MainWindow.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "platform/TextEncoding.h"
#include "ui/main/BusyCursor.h"
#include "ui/main/CertificatePage.h"
#include "ui/main/DialogService.h"

#include <QMenu>
#include <QTreeWidget>

namespace {

constexpr int32_t EccAlgorithm = 3;

QString keyText(TextKey label, int32_t algorithm, int32_t bits) {
    return textOf(label) + Format(algorithm == EccAlgorithm ? QStringLiteral("(ECC%d)") : QStringLiteral("(RSA%d)"),
                                  {bits});
}

QString kindSuffix(int32_t kind) {
    return kind == 1 ? QStringLiteral("(ROOT)") : kind == 2 ? QStringLiteral("(CA)") : QString();
}

int nodeLevel(const QTreeWidgetItem* node) {
    int level = 0;
    for (const QTreeWidgetItem* up = node->parent(); up; up = up->parent())
        ++level;
    return level;
}

// The first child of a certificate node: the certificate operations act on the certificate whose subject it shows.
bool isSubjectNode(QTreeWidgetItem* node) {
    return nodeLevel(node) == 2 && node->parent()->indexOfChild(node) == 0;
}

// The current node of the tree when it is selected too.
QTreeWidgetItem* selectedNode(const QTreeWidget* tree) {
    QTreeWidgetItem* node = tree->currentItem();
    return node && node->isSelected() ? node : nullptr;
}

} // namespace

void MainWindow::BuildCertTree(int32_t index) {
    QTreeWidget* tree = certificatePage->tvCert;
    tree->clear();
    TTokenInfo& info = state.slot(index).info;
    // On failure the list read last stays.
    m_tokenLibrary.LoadContainerList(index, info);
    ContainerCertFlags& flags = state.certFlags(index);
    if (info.containerCount == 0)
        certificatePage->addNode(nullptr, textOf(TextKey::K_Null_cont), CertificatePage::Folder,
                                 CertificatePage::OpenFolder);
    for (int32_t p = 0; p < std::min(info.containerCount, TTokenInfo::MaximumContainers); ++p) {
        const QByteArray& name = info.containerNames[size_t(p)];
        QTreeWidgetItem* container =
            certificatePage->addNode(nullptr, TextEncoding::fromLocal8(name) + textOf(TextKey::K_Cont),
                                     CertificatePage::Folder, CertificatePage::OpenFolder);
        for (const int32_t usage : {ExchangeUsage, SignatureUsage}) {
            uint8_t& flag = flags[size_t(p)][size_t(usage - 1)];
            TTokenCertInfo certificate;
            if (m_tokenLibrary.ReadCertInfo(index, name, usage, certificate) != 0) {
                flag = 0;
                continue;
            }
            QTreeWidgetItem* node = certificatePage->addNode(
                container,
                textOf(usage == ExchangeUsage ? TextKey::K_Cert_mode1 : TextKey::K_Cert_mode2) +
                    kindSuffix(certificate.kind),
                CertificatePage::Folder, CertificatePage::OpenFolder);
            certificatePage->addNode(node, certificate.subject, CertificatePage::Subject);
            int32_t algorithm = 0;
            if (m_tokenLibrary.ReadPublicKeyAlgorithm(index, name, usage, algorithm) == 0)
                certificatePage->addNode(node, keyText(TextKey::K_RSA_Pub, algorithm, certificate.keyBits),
                                         CertificatePage::PublicKey);
            if (m_tokenLibrary.ReadPrivateKeyAlgorithm(index, name, usage, algorithm) == 0)
                certificatePage->addNode(node, keyText(TextKey::K_RSA_Pri, algorithm, certificate.keyBits),
                                         CertificatePage::PrivateKey);
            flag = uint8_t(usage);
        }
    }
    tree->expandAll();
}

void MainWindow::UpdateCertActions() {
    const bool loggedIn = state.KeyCount > 0 && state.currentSlot().KeyState == KeySlot::LoggedIn;
    QTreeWidgetItem* node = selectedNode(certificatePage->tvCert);
    const bool container = node && nodeLevel(node) == 0;
    const bool subject = node && isSubjectNode(node);
    actions.AcDel->setEnabled(loggedIn && container && state.currentSlot().info.containerCount > 0);
    for (QAction* action : {actions.AcOutput, actions.AcListCert, actions.AcDelCert})
        action->setEnabled(loggedIn && subject);
}

std::optional<MainWindow::CertificateChoice> MainWindow::SelectedCertificate() {
    QTreeWidgetItem* node = selectedNode(certificatePage->tvCert);
    if (!node || !isSubjectNode(node))
        return std::nullopt;
    QTreeWidgetItem* certificate = node->parent();
    QTreeWidgetItem* container = certificate->parent();
    const int position = certificatePage->tvCert->indexOfTopLevelItem(container);
    if (position < 0 || position >= TTokenInfo::MaximumContainers)
        return std::nullopt;
    const auto& flags = state.certFlags(state.CurrentKey)[size_t(position)];
    const bool exchange = container->indexOfChild(certificate) == 0 && flags[0] != 0;
    return CertificateChoice{position, exchange ? ExchangeUsage : int32_t(flags[1])};
}

void MainWindow::AcListCertExecute() {
    const std::optional<CertificateChoice> choice = SelectedCertificate();
    if (!choice)
        return;
    const TTokenInfo& info = state.currentSlot().info;
    QByteArray certificate;
    if (m_tokenLibrary.ReadCertificate(state.CurrentKey, info.containerNames[size_t(choice->container)], choice->usage,
                                       certificate) != 0) {
        DialogService::information(this, textOf(TextKey::K_GetKeyCert_Error));
        return;
    }
    // A certificate the viewer cannot read says so, rather than the click doing nothing.
    if (const int32_t rv = m_tokenLibrary.helper_show_cert_ui(static_cast<QWidget*>(this), certificate); rv != 0)
        DialogService::information(this, Format(textOf(TextKey::P_FormatError), {rv}));
}

void MainWindow::AcrefreshExecute() {
    {
        const BusyCursor busy;
        m_tokenLibrary.token_reload_all_objects(state.CurrentKey);
        BuildCertTree(state.CurrentKey);
    }
    certificatePage->tvCert->setFocus();
}

void MainWindow::tvCertContextMenu(const QPoint& position) {
    QTreeWidget* tree = certificatePage->tvCert;
    QTreeWidgetItem* node = tree->itemAt(position);
    if (!node)
        return;
    tree->setCurrentItem(node);
    certificatePage->PMCertInfo->popup(tree->viewport()->mapToGlobal(position));
}
