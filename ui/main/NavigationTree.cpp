#include "ui/main/NavigationTree.h"

#include <QHeaderView>

#include "app/LanguageTable.h"

#include <iterator>

namespace {

constexpr int TreeWidth = 230;

// The tree's pictures by image index; the indexes without a node kind stay empty.
QList<QString> treePictures() {
    QList<QString> files(NavigationTree::AdminLoginImage + 1);
    files[NavigationTree::TokenImage] = QStringLiteral(":/tree-token.png");
    files[NavigationTree::CertificatesImage] = QStringLiteral(":/tree-certificate.png");
    files[NavigationTree::UserPinImage] = QStringLiteral(":/tree-pin.png");
    files[NavigationTree::KeyListImage] = QStringLiteral(":/tree-keylist.png");
    files[NavigationTree::SystemImage] = QStringLiteral(":/tree-system.png");
    files[NavigationTree::KeyNameImage] = QStringLiteral(":/tree-label.png");
    files[NavigationTree::FingerprintImage] = QStringLiteral(":/tree-fingerprint.png");
    files[NavigationTree::RemoteUnlockImage] = QStringLiteral(":/tree-remote.png");
    files[NavigationTree::FingerVeinImage] = QStringLiteral(":/tree-fingervein.png");
    files[NavigationTree::AboutImage] = QStringLiteral(":/tree-about.png");
    files[NavigationTree::AdministrationImage] = QStringLiteral(":/tree-admin.png");
    files[NavigationTree::InitializationImage] = QStringLiteral(":/tree-init.png");
    files[NavigationTree::SoPinImage] = QStringLiteral(":/tree-sopin.png");
    files[NavigationTree::UnlockImage] = QStringLiteral(":/tree-unlock.png");
    files[NavigationTree::CdromImage] = QStringLiteral(":/tree-cdrom.png");
    files[NavigationTree::AdminLoginImage] = QStringLiteral(":/tree-adminlogin.png");
    return files;
}

} // namespace

NavigationTree::NavigationTree(QWidget* parent) : QTreeWidget(parent), m_images(treePictures()) {
    setObjectName(QStringLiteral("tvUSBKey"));
    setHeaderHidden(true);
    setFixedWidth(TreeWidth);
    // A caption longer than the tree is wide (English ones can be) scrolls into view instead of being cut short.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void NavigationTree::resizeEvent(QResizeEvent* event) {
    header()->setMinimumSectionSize(viewport()->width());
    QTreeWidget::resizeEvent(event);
}

QTreeWidgetItem* NavigationTree::addNode(QTreeWidgetItem* parent, const QString& text, int imageIndex) {
    auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    node->setText(0, text);
    node->setIcon(0, m_images.icon(imageIndex));
    node->setData(0, ImageIndexRole, imageIndex);
    return node;
}

void NavigationTree::BuildTreeRoots() {
    clear();
    addNode(nullptr, textOf(TextKey::Main_Form_Treeview), KeyListImage);
    addNode(nullptr, textOf(TextKey::Main_Form_PopupMenu_CheceSystem), SystemImage);
    if (m_administration)
        addNode(nullptr, textOf(TextKey::Main_Form_PopupMenu_About), AboutImage);
}

void NavigationTree::applyTexts() {
    const TextKey roots[] = {TextKey::Main_Form_Treeview, TextKey::Main_Form_PopupMenu_CheceSystem,
                             TextKey::Main_Form_PopupMenu_About};
    for (int i = 0; i < std::min(topLevelItemCount(), int(std::size(roots))); ++i)
        topLevelItem(i)->setText(0, textOf(roots[i]));
}

void NavigationTree::removeTokens() {
    const QSignalBlocker quiet(this);
    qDeleteAll(keyList()->takeChildren());
}

void NavigationTree::addKeyInfoError() {
    addNode(keyList(), textOf(TextKey::K_GetKeyInfo_Error), TokenImage);
}

void NavigationTree::addTokenNode(const QString& label, bool fingerKey, bool fingerVeinKey) {
    QTreeWidgetItem* token = addNode(keyList(), label, TokenImage);
    addNode(token, textOf(TextKey::Main_Form_btn_SetUPIN), UserPinImage);
    addNode(token, textOf(TextKey::Main_Form_btn_SetKeyName), KeyNameImage);
    addNode(token, textOf(TextKey::Main_Form_Groupbox), CertificatesImage);
    if (fingerKey)
        addNode(token, textOf(TextKey::F_User_Finger), fingerVeinKey ? FingerVeinImage : FingerprintImage);
    addNode(token, textOf(TextKey::P_Remoteunlock), RemoteUnlockImage);
    if (!m_administration)
        return;
    QTreeWidgetItem* administration =
        addNode(token, textOf(TextKey::Main_Form_PopupMenu_Advanced), AdministrationImage);
    addNode(administration, textOf(TextKey::Admin_btn_Init), InitializationImage);
    addNode(administration, textOf(TextKey::Admin_btn_SOPIN), SoPinImage);
    addNode(administration, textOf(TextKey::Admin_btn_Unlock), UnlockImage);
    addNode(administration, textOf(TextKey::Admin_btn_DownISO), CdromImage);
    QTreeWidgetItem* login = addNode(administration, textOf(TextKey::F_Admin_Longin), AdminLoginImage);
    if (!fingerKey)
        return;
    const int finger = fingerVeinKey ? FingerVeinImage : FingerprintImage;
    addNode(login, textOf(TextKey::F_Admin_Longin), AdminLoginImage);
    addNode(login, textOf(TextKey::F_User_Finger), finger);
    addNode(login, textOf(TextKey::F_Admin_Finger), finger);
}

QTreeWidgetItem* NavigationTree::administrationNode(QTreeWidgetItem* token) {
    for (int i = 0; token && i < token->childCount(); ++i) {
        if (token->child(i)->data(0, ImageIndexRole).toInt() == AdministrationImage)
            return token->child(i);
    }
    return nullptr;
}

void NavigationTree::expandWithDescendants(QTreeWidgetItem* node) {
    node->setExpanded(true);
    for (int i = 0; i < node->childCount(); ++i)
        expandWithDescendants(node->child(i));
}

int NavigationTree::level(const QTreeWidgetItem* node) {
    int level = 0;
    for (const QTreeWidgetItem* up = node->parent(); up; up = up->parent())
        ++level;
    return level;
}

int NavigationTree::indexAmongSiblings(const QTreeWidgetItem* node) {
    return node->parent() ? node->parent()->indexOfChild(const_cast<QTreeWidgetItem*>(node))
                          : node->treeWidget()->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(node));
}

QTreeWidgetItem* NavigationTree::tokenOf(QTreeWidgetItem* node) {
    while (node->parent() && node->parent()->parent())
        node = node->parent();
    return node;
}
