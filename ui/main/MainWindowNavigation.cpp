// The main window's navigation: what selecting a node of the tree shows, and the commands other programs send.

#include "ui/main/MainWindow.h"

#include "ui/administration/InitializationPage.h"
#include "ui/biometric/AdminLoginPage.h"
#include "ui/biometric/BiometricPage.h"
#include "ui/main/CertificatePage.h"
#include "ui/main/KeyLabelPage.h"
#include "ui/main/LoginPage.h"
#include "ui/main/NavigationTree.h"
#include "ui/main/UserPinPage.h"
#include "ui/system/SystemCheckPage.h"

#include <QMenu>
#include <QStackedWidget>

namespace {

// The function children of a token node, by position. The administration node comes last: at 5 on a biometric
// token, at 4 on one without a sensor, where the biometric token has its remote unlock.
enum class TokenChild {
    ChangePin = 0,
    ChangeLabel = 1,
    Certificates = 2,
    BiometricOrRemoteUnlock = 3,
    RemoteUnlockOrAdministration = 4,
    Administration = 5,
};

} // namespace

void MainWindow::tvUSBKeyChange(QTreeWidgetItem* node) {
    // The keyboard stays where the user moved the selection.
    loginPage->cancelPinFocus();
    if (!node)
        return;
    const int level = NavigationTree::level(node);
    const int index = NavigationTree::indexAmongSiblings(node);
    m_state.CurrentKey = level >= 2 ? NavigationTree::indexAmongSiblings(NavigationTree::tokenOf(node)) : index;
    if (level == 0) {
        if (index == 1) {
            ShowPage(SystemCheck);
            systemCheckPage->ShowSystemSummary();
        } else if (index == 2)
            ShowPage(About);
    } else if (level == 1) {
        ShowPage(KeyInfo);
        if (const KeySlot* slot = m_state.currentSlot())
            m_skfLibrary.SelectSkfApplication(slot->info.serialBytes());
        ShowKeyInfo(m_state.CurrentKey);
    } else if (level == 2) {
        showTokenFunction(index);
    } else {
        showAdministration(level, index);
    }
    // The pages' enable rules depend on the token's PIN lengths.
    for (::Page* page : m_pages)
        page->updateActions();
}

// The administration entries sit one or two levels below a token's functions; the tree offers them once an
// administrator has logged in.
void MainWindow::showAdministration(int level, int index) {
    if (level == 3 && index == 0) {
        initializationPage->hideBiometricTab();
        ShowPage(Initialization);
        initializationPage->ShowInitTemplate();
    } else if (level == 3 && index >= 1 && index <= 3) {
        ShowPage(index == 1 ? SoPin : index == 2 ? UnlockUserPin : CdromImage);
    } else if ((level == 3 && index == 4) || (level == 4 && index == 0)) {
        ShowPage(AdminLogin);
        if (const KeySlot* slot = m_state.currentSlot())
            adminLoginPage->Prepare(slot->info.labelText());
    } else if (level == 4 && (index == 1 || index == 2)) {
        ShowPage(Biometric);
        biometricPage->ShowFingerPage(index == 1 ? BiometricPage::FingerPageWay::User
                                                 : BiometricPage::FingerPageWay::Administrator);
    }
}

void MainWindow::showTokenFunction(int index) {
    const KeySlot* slot = m_state.currentSlot();
    if (!slot)
        return;
    switch (TokenChild(index)) {
    case TokenChild::ChangePin:
        ShowPage(UserPin);
        userPinPage->Prepare();
        break;
    case TokenChild::ChangeLabel:
        ShowPage(KeyLabel);
        keyLabelPage->Prepare(slot->info.labelText());
        break;
    case TokenChild::Certificates:
        if (slot->KeyState == KeySlot::LoggedIn) {
            certificatePage->BuildCertTree(m_state.CurrentKey);
            certificatePage->UpdateCertActions();
            ShowPage(Certificates);
        } else {
            ShowPage(Login);
            loginPage->Prepare(slot->info.labelText());
            biometricPage->RefreshFingerPage(SKF_PIN_USER);
        }
        break;
    case TokenChild::BiometricOrRemoteUnlock:
        if (m_state.FingerKey) {
            biometricPage->ShowFingerPage(BiometricPage::FingerPageWay::BiometricNode);
            ShowPage(Biometric);
        } else {
            ShowPage(RemoteUnlock);
        }
        break;
    case TokenChild::RemoteUnlockOrAdministration:
        if (m_state.FingerKey) {
            ShowPage(RemoteUnlock);
            break;
        }
        [[fallthrough]];
    case TokenChild::Administration:
        ShowPage(Initialization);
        initializationPage->ShowInitTemplate();
        break;
    }
}

void MainWindow::setUpSpareMenu() {
    tvUSBKey->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tvUSBKey, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        if (tvUSBKey->itemAt(position))
            return;
        AcAdvanced->setEnabled(NavigationTree::administrationNode(currentTokenNode()) != nullptr);
        AcAbout->setEnabled(tvUSBKey->topLevelItemCount() > NavigationTree::AboutRoot);
        pmSpare->popup(tvUSBKey->viewport()->mapToGlobal(position));
    });
    connect(AcShowMainWindow, &QAction::triggered, this, [this] {
        showNormal();
        raise();
        activateWindow();
    });
    connect(AcAdvanced, &QAction::triggered, this, [this] {
        if (QTreeWidgetItem* administration = NavigationTree::administrationNode(currentTokenNode()))
            tvUSBKey->setCurrentItem(administration);
    });
    connect(AcCheckSystem, &QAction::triggered, this,
            [this] { tvUSBKey->setCurrentItem(tvUSBKey->topLevelItem(NavigationTree::SystemRoot)); });
    connect(AcAbout, &QAction::triggered, this, [this] {
        if (QTreeWidgetItem* about = tvUSBKey->topLevelItem(NavigationTree::AboutRoot))
            tvUSBKey->setCurrentItem(about);
    });
}

namespace {

// The node after node in the tree's order (its first child, else the next sibling of it or of an ancestor), whether
// or not the branches are expanded; none after the last.
QTreeWidgetItem* nextInTreeOrder(QTreeWidget* tree, QTreeWidgetItem* node) {
    if (node->childCount() > 0)
        return node->child(0);
    for (QTreeWidgetItem* level = node; level; level = level->parent()) {
        QTreeWidgetItem* parent = level->parent();
        const int index = parent ? parent->indexOfChild(level) : tree->indexOfTopLevelItem(level);
        const int siblings = parent ? parent->childCount() : tree->topLevelItemCount();
        if (index + 1 < siblings)
            return parent ? parent->child(index + 1) : tree->topLevelItem(index + 1);
    }
    return nullptr;
}

} // namespace

// Each step is a selection of its own, with what selecting that node does.
void MainWindow::MoveSelectionForward() {
    QTreeWidgetItem* node = tvUSBKey->currentItem();
    if (!node)
        return;
    if (node->childCount() > 0) {
        node = nextInTreeOrder(tvUSBKey, node);
        tvUSBKey->setCurrentItem(node);
    }
    if (QTreeWidgetItem* next = nextInTreeOrder(tvUSBKey, node))
        tvUSBKey->setCurrentItem(next);
}

QTreeWidgetItem* MainWindow::currentTokenNode() const {
    QTreeWidgetItem* keys = tvUSBKey->keyList();
    if (!keys || m_state.KeyCount <= 0)
        return nullptr;
    QTreeWidgetItem* token = keys->child(m_state.CurrentKey);
    return token ? token : keys->child(0);
}

int32_t MainWindow::handleCopyData(const QString& command) {
    if (command == QLatin1String("CLOSE")) {
        close();
    } else if (command == QLatin1String("LoadCert")) {
        // The certificates are read again when they are on screen; otherwise the next visit asks for the PIN.
        if (pcMain->currentIndex() == Certificates)
            certificatePage->refresh();
        else if (KeySlot* slot = m_state.currentSlot())
            slot->KeyState = KeySlot::Present;
    }
    return 0;
}

void MainWindow::ShowCertificatesAfterLogin(int32_t index) {
    ShowPage(Certificates);
    certificatePage->BuildCertTree(index);
    certificatePage->UpdateCertActions();
    // The keyboard goes on in the tree the login opened.
    certificatePage->focusTree();
}

void MainWindow::RenameTokenNode(const QString& label) {
    if (QTreeWidgetItem* node = tvUSBKey->currentItem(); node && node->parent())
        NavigationTree::tokenOf(node)->setText(0, label);
}
