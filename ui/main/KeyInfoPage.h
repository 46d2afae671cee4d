#pragma once

#include "ui/main/Page.h"

#include <cstdint>

class QPushButton;
class QTreeWidget;

// Page 0: the selected token's properties as a two-column list, and the action that looks for tokens again.
class KeyInfoPage : public Page {
    Q_OBJECT
public:
    KeyInfoPage(PageHost& host, QWidget* parent);
    void applyTexts() override;

    // Reads token index and lists it; a token that cannot be read leaves the list as it was. On a biometric token
    // the user's biometric state follows.
    void ShowKeyInfo(int32_t index);
    void clear();

    static void AddInfoRow(QTreeWidget* list, const QString& caption, const QString& value);
    // Kilobytes up to 1000 KB, megabytes with two decimals above.
    static QString FormatSize(int32_t bytes);
    // "major.minor" of a version held as major * 256 + minor, the minor with at least two digits.
    static QString VersionText(int32_t version);

private:
    void AcKeyRefreshExecute();

    QTreeWidget* const lvKeyInfo;
    QPushButton* const btnRefreshKeys;
    QAction* const AcKeyRefresh;
};
