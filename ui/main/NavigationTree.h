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
        // The administrator's nodes, and the about root, which the designed list did not have.
        AboutImage = 24,
        AdministrationImage = 25,
        InitializationImage = 26,
        SoPinImage = 27,
        UnlockImage = 28,
        CdromImage = 29,
        AdminLoginImage = 30,
    };
    // The roots by position; the about root only with administration.
    enum Root { KeyListRoot = 0, SystemRoot = 1, AboutRoot = 2 };
    // The role under which a node keeps its image index.
    static constexpr int ImageIndexRole = Qt::UserRole + 1;

    explicit NavigationTree(QWidget* parent);

    // With administration offered (the profile's AdminTools), the tree has the about root and, under each token,
    // the administration node with its pages.
    void offerAdministration(bool offered) { m_administration = offered; }
    bool offersAdministration() const { return m_administration; }

    // The two roots (three with administration), without children.
    void BuildTreeRoots();
    // Sets the roots' texts from the text table.
    void applyTexts();
    QTreeWidgetItem* keyList() const { return topLevelItem(0); }
    // Takes every child of root 0 away without running the selection handler for whatever node Qt selects next.
    void removeTokens();
    // The child of root 0 that stands for a failed discovery.
    void addKeyInfoError();
    // A token node with its function children; the biometric child only on a biometric token, the administration
    // node last when administration is offered (with the administrator's finger pages on a biometric token).
    void addTokenNode(const QString& label, bool fingerKey, bool fingerVeinKey);
    // The administration node of a token node; null when there is none.
    static QTreeWidgetItem* administrationNode(QTreeWidgetItem* token);
    // Unfolds node and everything below it.
    static void expandWithDescendants(QTreeWidgetItem* node);
    // Roots have level 0.
    static int level(const QTreeWidgetItem* node);
    static int indexAmongSiblings(const QTreeWidgetItem* node);
    // The level-1 ancestor of a node below a token, or the node itself.
    static QTreeWidgetItem* tokenOf(QTreeWidgetItem* node);

protected:
    // The column is never narrower than the tree, so a selected node's band spans it.
    void resizeEvent(QResizeEvent* event) override;

private:
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const QString& text, int imageIndex);

    ImageList m_images;
    bool m_administration = false;
};
