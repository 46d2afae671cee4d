// The main window's navigation: what selecting a node of the tree shows, and the commands other programs send.

#include "ui/main/MainWindow.h"

#include "app/LanguageTable.h"
#include "ui/administration/InitializationPage.h"
#include "ui/biometric/AdminLoginPage.h"
#include "ui/biometric/BiometricPage.h"
#include "ui/main/KeyLabelPage.h"
#include "ui/main/LoginPage.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>


namespace {

// The function children of a token node, by position.
enum class TokenChild {
    ChangePin = 0,
    ChangeLabel = 1,
    Certificates = 2,
    BiometricOrRemoteUnlock = 3,
    RemoteUnlock = 4,
    Initialization = 5,
};

int indexAmongSiblings(QTreeWidgetItem* node) {
    return node->parent() ? node->parent()->indexOfChild(node) : node->treeWidget()->indexOfTopLevelItem(node);
}

} // namespace

void MainWindow::tvUSBKeyChange(QTreeWidgetItem* node) {
    if (!node)
        return;
    int level = 0;
    QTreeWidgetItem* token = node;
    for (QTreeWidgetItem* up = node->parent(); up; up = up->parent()) {
        ++level;
        if (up->parent())
            token = up;
    }
    const int index = indexAmongSiblings(node);
    state.CurrentKey = level >= 2 ? indexAmongSiblings(token) : index;
    if (level == 0) {
        if (index == 1)
            ShowPage(SystemCheck);
        else if (index == 2)
            ShowPage(About);
    } else if (level == 1) {
        ShowPage(KeyInfo);
        m_skfLibrary.SelectSkfApplication(state.currentSlot().info.serialBytes());
        ShowKeyInfo(state.CurrentKey);
    } else if (level == 2) {
        showTokenFunction(index);
    } else {
        showAdministration(level, index);
    }
    // The pages' enable rules depend on the token's PIN lengths.
    updateLoginAction();
    updatePinAndLabelActions();
}

// The administration entries sit one or two levels below a token's functions; the tree offers them once an
// administrator has logged in.
void MainWindow::showAdministration(int level, int index) {
    if (level == 3 && index == 0) {
        initializationPage->tcInit->setTabVisible(InitializationPage::BiometricTab, false);
        ShowPage(Initialization);
    } else if (level == 3 && index >= 1 && index <= 3) {
        ShowPage(index == 1 ? SoPin : index == 2 ? UnlockUserPin : CdromImage);
    } else if ((level == 3 && index == 4) || (level == 4 && index == 0)) {
        ShowPage(AdminLogin);
        adminLoginPage->LFingerKeyName->setText(state.currentSlot().info.labelText());
    } else if (level == 4 && (index == 1 || index == 2)) {
        ShowPage(Biometric);
    }
}

void MainWindow::showTokenFunction(int index) {
    const TTokenInfo& token = state.currentSlot().info;
    switch (TokenChild(index)) {
    case TokenChild::ChangePin:
        ShowPage(UserPin);
        break;
    case TokenChild::ChangeLabel:
        ShowPage(KeyLabel);
        keyLabelPage->edtKeyName->setText(token.labelText().trimmed());
        break;
    case TokenChild::Certificates:
        if (state.currentSlot().KeyState == KeySlot::LoggedIn) {
            BuildCertTree(state.CurrentKey);
            UpdateCertActions();
            ShowPage(Certificates);
        } else {
            ShowPage(Login);
            loginPage->Lkeyname->setText(token.labelText());
            TSetFocusUPIN->start();
        }
        break;
    case TokenChild::BiometricOrRemoteUnlock:
        if (state.FingerKey) {
            biometricPage->PCFinger->setTabText(0, textOf(TextKey::F_User_Finger));
            ShowPage(Biometric);
        } else {
            ShowPage(RemoteUnlock);
        }
        break;
    case TokenChild::RemoteUnlock:
        ShowPage(RemoteUnlock);
        break;
    case TokenChild::Initialization:
        ShowPage(Initialization);
        break;
    }
}

int32_t MainWindow::handleCopyData(const QString& command) {
    if (command == QLatin1String("CLOSE")) {
        close();
    } else if (command == QLatin1String("LoadCert")) {
        // The certificates are read again when they are on screen; otherwise the next visit asks for the PIN.
        if (pcMain->currentIndex() == Certificates)
            actions.Acrefresh->trigger();
        else
            state.currentSlot().KeyState = KeySlot::Present;
    }
    return 0;
}
