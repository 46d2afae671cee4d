#pragma once

#include "ui/main/ImageList.h"

#include <QTreeWidget>

// The main window's navigation tree: root 0 lists the tokens with their functions, root 1 the workstation. Each
// node carries the image index of what it is. The tree builds and names its nodes; what selecting one does is the
// window's.
class NavigationTree : public QTreeWidget {
    Q_OBJECT
public:
    // Indexes of the tree's image list.
    enum TreeImage {
        TokenImage = 0,
        CertificatesImage = 3,
        UserPinImage = 4,
        KeyListImage = 9,
        SystemImage = 10,
        KeyNameImage = 11,
        FingerprintImage = 18,
        RemoteUnlockImage = 22,
        FingerVeinImage = 23,
    };
    // The role under which a node keeps its image index.
    static constexpr int ImageIndexRole = Qt::UserRole + 1;

    explicit NavigationTree(QWidget* parent);

    // The two roots, without children.
    void BuildTreeRoots();
    QTreeWidgetItem* keyList() const { return topLevelItem(0); }
    // Takes every child of root 0 away without running the selection handler for whatever node Qt selects next.
    void removeTokens();
    // The child of root 0 that stands for a failed discovery.
    void addKeyInfoError();
    // A token node with its function children; the biometric child only on a biometric token.
    void addTokenNode(const QString& label, bool fingerKey, bool fingerVeinKey);
    // Unfolds node and everything below it.
    static void expandWithDescendants(QTreeWidgetItem* node);
    // Roots have level 0.
    static int level(const QTreeWidgetItem* node);
    static int indexAmongSiblings(const QTreeWidgetItem* node);
    // The level-1 ancestor of a node below a token, or the node itself.
    static QTreeWidgetItem* tokenOf(QTreeWidgetItem* node);

private:
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const QString& text, int imageIndex);

    ImageList m_images;
};
