#pragma once

#include <QWidget>

class QPushButton;
class QTreeWidget;

// Page 0: the selected token's properties as a two-column list, and the button that looks for tokens again.
class KeyInfoPage : public QWidget {
    Q_OBJECT
public:
    explicit KeyInfoPage(QWidget* parent = nullptr);
    void applyTexts();

    QTreeWidget* const lvKeyInfo;
    QPushButton* const btnRefreshKeys;
};
