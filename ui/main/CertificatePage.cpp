#include "ui/main/CertificatePage.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "platform/TextEncoding.h"
#include "token/TokenLibrary.h"
#include "ui/main/BusyCursor.h"
#include "ui/main/CertificateViewer.h"
#include "ui/main/DialogService.h"
#include "ui/main/FormControls.h"
#include "ui/main/WindowState.h"

#include <QAction>
#include <QBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

using namespace FormControls;
using namespace Qt::StringLiterals;

namespace {

QString keyText(TextKey label, int32_t algorithm, int32_t bits) {
    return textOf(label) +
           Format(algorithm == TTokenCertInfo::EccAlgorithm ? QStringLiteral("(ECC%d)") : QStringLiteral("(RSA%d)"),
                  {bits});
}

QString kindSuffix(int32_t kind) {
    return kind == TTokenCertInfo::Root           ? QStringLiteral("(ROOT)")
           : kind == TTokenCertInfo::Intermediate ? QStringLiteral("(CA)")
                                                  : QString();
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

// The selected node of the tree (one at most). Not the current one: when the keyboard moves the selection, the tree
// reports the new selection while the old node is still current.
QTreeWidgetItem* selectedNode(const QTreeWidget* tree) {
    const QList<QTreeWidgetItem*> selected = tree->selectedItems();
    return selected.isEmpty() ? nullptr : selected.constFirst();
}

} // namespace

CertificatePage::CertificatePage(PageHost& host, QAction* logout, QWidget* parent)
    : Page(host, parent), tvCert(new QTreeWidget(this)), PMCertInfo(new QMenu(this)), btnDel(button(this, "btnDel")),
      btnListCert(button(this, "btnListCert")), btnOutput(button(this, "btnOutput")),
      btnInputCert(button(this, "btnInputCert")), btnUnRegCert(button(this, "btnUnRegCert")),
      btnRegCert(button(this, "btnRegCert")), btnLogout(button(this, "btnLogout")),
      btnRefreshCert(button(this, "btnRefreshCert")), PBCert(new QProgressBar(this)),
      AcListCert(makeAction("AcListCert")), AcOutput(makeAction("AcOutput")), AcDel(makeAction("AcDel")),
      AcDelCert(makeAction("AcDelCert")), AcInputCert(makeAction("AcInputCert")), AcRegCert(makeAction("AcRegCert")),
      AcUnRegCert(makeAction("AcUnRegCert")), Acrefresh(makeAction("Acrefresh")),
      TimerCert(timer(this, "TimerCert", 2000)), TRegCert(timer(this, "TRegCert", 1000)),
      m_images({{},
                QStringLiteral(":/cert-container.png"),
                QStringLiteral(":/cert-container-open.png"),
                QStringLiteral(":/cert-subject.png"),
                QStringLiteral(":/cert-publickey.png"),
                QStringLiteral(":/cert-privatekey.png")}) {
    tvCert->setObjectName(QStringLiteral("tvCert"));
    tvCert->setHeaderHidden(true);
    tvCert->setIndentation(19);
    tvCert->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvCert->setMouseTracking(true); // hot tracking
    tvCert->setContextMenuPolicy(Qt::CustomContextMenu);
    tvCert->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(tvCert, &QTreeWidget::itemExpanded, this, &CertificatePage::showNodeImage);
    connect(tvCert, &QTreeWidget::itemCollapsed, this, &CertificatePage::showNodeImage);
    PMCertInfo->setObjectName(QStringLiteral("PMCertInfo"));
    PMCertInfo->addActions({AcListCert, AcOutput, AcDel, AcDelCert});
    PBCert->setObjectName(QStringLiteral("PBCert"));
    PBCert->setRange(0, 100);
    PBCert->setVisible(false);

    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(tvCert, 1);
    layout->addLayout(
        buttonRow({btnDel, btnListCert, btnOutput, btnInputCert, btnUnRegCert, btnRegCert, btnLogout, btnRefreshCert}));
    layout->addWidget(PBCert);

    bindToAction(btnDel, AcDel);
    bindToAction(btnListCert, AcListCert);
    bindToAction(btnOutput, AcOutput);
    bindToAction(btnInputCert, AcInputCert);
    bindToAction(btnUnRegCert, AcUnRegCert);
    bindToAction(btnRegCert, AcRegCert);
    bindToAction(btnLogout, logout);
    bindToAction(btnRefreshCert, Acrefresh);
    // Which of the operations the page offers, the language file and the profile decide (applyTexts).

    connect(AcListCert, &QAction::triggered, this, &CertificatePage::AcListCertExecute);
    connect(AcOutput, &QAction::triggered, this, &CertificatePage::AcOutputExecute);
    connect(Acrefresh, &QAction::triggered, this, &CertificatePage::AcrefreshExecute);
    connect(AcInputCert, &QAction::triggered, this, &CertificatePage::AcInputCertExecute);
    connect(AcDelCert, &QAction::triggered, this, &CertificatePage::AcDelCertExecute);
    connect(AcDel, &QAction::triggered, this, &CertificatePage::AcDelExecute);
    connect(AcRegCert, &QAction::triggered, this, &CertificatePage::AcRegCertExecute);
    connect(AcUnRegCert, &QAction::triggered, this, &CertificatePage::AcUnRegCertExecute);
    connect(TimerCert, &QTimer::timeout, this, &CertificatePage::TimerCertTimer);
    connect(TRegCert, &QTimer::timeout, this, &CertificatePage::TRegCertTimer);
    // A double-click shows the certificate, and so does Enter on the keyboard.
    connect(tvCert, &QTreeWidget::itemActivated, this, &CertificatePage::AcListCertExecute);
    connect(tvCert, &QTreeWidget::itemSelectionChanged, this, &CertificatePage::UpdateCertActions);
    connect(tvCert, &QWidget::customContextMenuRequested, this, &CertificatePage::tvCertContextMenu);
}

CertificatePage::~CertificatePage() {
    waitForImportWorkers();
}

void CertificatePage::applyTexts() {
    Acrefresh->setText(textOf(TextKey::Main_Form_btn_Refresh));
    AcInputCert->setText(textOf(TextKey::Main_Form_btn_Import));
    AcOutput->setText(textOf(TextKey::Main_Form_btn_Output));
    AcDel->setText(textOf(TextKey::Main_Form_btn_Del));
    AcListCert->setText(textOf(TextKey::btn_ViewCert));
    AcRegCert->setText(textOf(TextKey::K_Cert_Reg));
    AcUnRegCert->setText(textOf(TextKey::K_Cert_UnReg));
    AcDelCert->setText(textOf(TextKey::K_Cert_Del));
    // The language file carries which certificate operations a product offers.
    const auto& settings = LanguageTable::instance().settings();
    AcInputCert->setVisible(settings.config_Cert_Input > 0);
    AcOutput->setVisible(settings.config_Cert_Output > 0);
    AcDelCert->setVisible(settings.config_Cert_Del > 0);
    AcDel->setVisible(settings.config_Cont_Del > 0);
}

void CertificatePage::offerStoreRegistration(bool offered) {
    AcRegCert->setVisible(offered);
    AcUnRegCert->setVisible(offered);
}

QTreeWidgetItem* CertificatePage::addNode(QTreeWidgetItem* parent, const QString& text, Image image,
                                          int expandedImage) {
    auto* node = parent ? new QTreeWidgetItem(parent, {text}) : new QTreeWidgetItem(tvCert, {text});
    node->setData(0, ImageRole, int(image));
    node->setData(0, ExpandedImageRole, expandedImage);
    showNodeImage(node);
    return node;
}

void CertificatePage::showNodeImage(QTreeWidgetItem* node) {
    const int expanded = node->data(0, ExpandedImageRole).toInt();
    node->setIcon(0, m_images.icon(node->isExpanded() && expanded >= 0 ? expanded : node->data(0, ImageRole).toInt()));
}

void CertificatePage::BuildCertTree(int32_t index) {
    tvCert->clear();
    KeySlot* slot = m_host.state().slot(index);
    ContainerCertFlags* flags = m_host.state().certFlags(index);
    if (!slot || !flags)
        return;
    TTokenInfo& info = slot->info;
    TokenLibrary& tokens = m_host.tokenLibrary();
    // On failure the list read last stays.
    tokens.LoadContainerList(index, info);
    if (info.containerCount == 0)
        addNode(nullptr, textOf(TextKey::K_Null_cont), Folder, OpenFolder);
    for (int32_t p = 0; p < std::min(info.containerCount, TTokenInfo::MaximumContainers); ++p) {
        const QByteArray& name = info.containerNames[size_t(p)];
        QTreeWidgetItem* container =
            addNode(nullptr, TextEncoding::fromLocal8(name) + textOf(TextKey::K_Cont), Folder, OpenFolder);
        for (const int32_t usage : {ExchangeUsage, SignatureUsage}) {
            uint8_t& flag = (*flags)[size_t(p)][size_t(usage - 1)];
            TTokenCertInfo certificate;
            if (tokens.ReadCertInfo(index, name, usage, certificate) != 0) {
                flag = 0;
                continue;
            }
            QTreeWidgetItem* node =
                addNode(container,
                        textOf(usage == ExchangeUsage ? TextKey::K_Cert_mode1 : TextKey::K_Cert_mode2) +
                            kindSuffix(certificate.kind),
                        Folder, OpenFolder);
            addNode(node, certificate.subject, Subject);
            int32_t algorithm = 0;
            if (tokens.ReadPublicKeyAlgorithm(index, name, usage, algorithm) == 0)
                addNode(node, keyText(TextKey::K_RSA_Pub, algorithm, certificate.keyBits), PublicKey);
            if (tokens.ReadPrivateKeyAlgorithm(index, name, usage, algorithm) == 0)
                addNode(node, keyText(TextKey::K_RSA_Pri, algorithm, certificate.keyBits), PrivateKey);
            flag = uint8_t(usage);
        }
    }
    tvCert->expandAll();
}

void CertificatePage::UpdateCertActions() {
    WindowState& state = m_host.state();
    const KeySlot* slot = state.currentSlot();
    const bool loggedIn = state.KeyCount > 0 && slot && slot->KeyState == KeySlot::LoggedIn;
    QTreeWidgetItem* node = selectedNode(tvCert);
    const bool container = node && nodeLevel(node) == 0;
    const bool subject = node && isSubjectNode(node);
    AcDel->setEnabled(loggedIn && container && slot->info.containerCount > 0);
    for (QAction* action : {AcOutput, AcListCert, AcDelCert})
        action->setEnabled(loggedIn && subject);
    const bool hasContainers = slot && slot->info.containerCount > 0;
    AcRegCert->setEnabled(hasContainers);
    AcUnRegCert->setEnabled(hasContainers);
}

std::optional<int> CertificatePage::selectedContainer() {
    QTreeWidgetItem* node = selectedNode(tvCert);
    const KeySlot* slot = m_host.state().currentSlot();
    if (!node || node->parent() || !slot)
        return std::nullopt;
    const int position = tvCert->indexOfTopLevelItem(node);
    if (position < 0 || position >= std::min(slot->info.containerCount, TTokenInfo::MaximumContainers))
        return std::nullopt;
    return position;
}

int CertificatePage::preselectedContainer() const {
    const QTreeWidgetItem* node = selectedNode(tvCert);
    const int level = node ? nodeLevel(node) : -1;
    if (level == 0)
        return tvCert->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(node));
    if (level == 1)
        return tvCert->indexOfTopLevelItem(node->parent());
    const KeySlot* slot = m_host.state().currentSlot();
    return slot ? slot->info.containerCount - 1 : -1;
}

std::optional<CertificatePage::CertificateChoice> CertificatePage::SelectedCertificate() {
    QTreeWidgetItem* node = selectedNode(tvCert);
    const ContainerCertFlags* tokenFlags = m_host.state().certFlags(m_host.state().CurrentKey);
    if (!node || !isSubjectNode(node) || !tokenFlags)
        return std::nullopt;
    QTreeWidgetItem* certificate = node->parent();
    QTreeWidgetItem* container = certificate->parent();
    const int position = tvCert->indexOfTopLevelItem(container);
    if (position < 0 || position >= TTokenInfo::MaximumContainers)
        return std::nullopt;
    const auto& flags = (*tokenFlags)[size_t(position)];
    const bool exchange = container->indexOfChild(certificate) == 0 && flags[0] != 0;
    return CertificateChoice{position, exchange ? int32_t(ExchangeUsage) : int32_t(flags[1])};
}

bool CertificatePage::readSelectedCertificate(QByteArray& certificate) {
    const std::optional<CertificateChoice> choice = SelectedCertificate();
    const KeySlot* slot = m_host.state().currentSlot();
    if (!choice || !slot)
        return false;
    if (m_host.tokenLibrary().ReadCertificate(m_host.state().CurrentKey,
                                              slot->info.containerNames[size_t(choice->container)], choice->usage,
                                              certificate) != 0) {
        DialogService::information(m_host.dialogOwner(), textOf(TextKey::K_GetKeyCert_Error));
        return false;
    }
    return true;
}

void CertificatePage::AcListCertExecute() {
    QByteArray certificate;
    if (!readSelectedCertificate(certificate))
        return;
    // A certificate the viewer cannot read says so, rather than the click doing nothing.
    if (const int32_t rv = m_host.tokenLibrary().helper_show_cert_ui(m_host.dialogOwner(), certificate); rv != 0)
        DialogService::information(m_host.dialogOwner(), Format(textOf(TextKey::P_FormatError), {rv}));
}

// The certificate as the token holds it (DER), into a file the user names; an existing file is replaced without a
// question, and a file that cannot be written whole stays as it was.
void CertificatePage::AcOutputExecute() {
    QByteArray certificate;
    if (!readSelectedCertificate(certificate))
        return;
    QWidget* owner = m_host.dialogOwner();
    const QString path = DialogService::saveFileName(owner, textOf(TextKey::Main_Form_btn_Output), QString(), QString(),
                                                     u"cer"_s, DialogService::Existing::Replace);
    if (!path.isEmpty() && CertificateViewer::saveCertificate(owner, path, certificate))
        DialogService::information(owner, textOf(TextKey::OutPut_OK));
}

void CertificatePage::AcrefreshExecute() {
    {
        const BusyCursor busy;
        m_host.tokenLibrary().token_reload_all_objects(m_host.state().CurrentKey);
        BuildCertTree(m_host.state().CurrentKey);
    }
    focusTree();
}

void CertificatePage::refresh() {
    Acrefresh->trigger();
}

void CertificatePage::focusTree() {
    tvCert->setFocus();
}

void CertificatePage::tvCertContextMenu(const QPoint& position) {
    QTreeWidgetItem* node = tvCert->itemAt(position);
    if (!node)
        return;
    tvCert->setCurrentItem(node);
    PMCertInfo->popup(tvCert->viewport()->mapToGlobal(position));
}
