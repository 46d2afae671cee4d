#pragma once

#include <QWidget>

#include <cstdint>

class QPushButton;
class QTreeWidget;
class SkfLibrary;
class TokenLibrary;
struct TTokenInfo;

// Page 0: the selected token's properties as a two-column list, and the button that looks for tokens again.
class KeyInfoPage : public QWidget {
    Q_OBJECT
public:
    explicit KeyInfoPage(QWidget* parent = nullptr);
    void applyTexts();

    // Reads token index into info and lists it; a token that cannot be read leaves the list as it was. On a
    // biometric token the user's biometric state follows.
    void ShowKeyInfo(TokenLibrary& tokens, SkfLibrary& skf, int32_t index, TTokenInfo& info, bool fingerKey);

    static void AddInfoRow(QTreeWidget* list, const QString& caption, const QString& value);
    // Kilobytes up to 1000 KB, megabytes with two decimals above.
    static QString FormatSize(int32_t bytes);
    // "major.minor" of a version held as major * 256 + minor, the minor with at least two digits.
    static QString VersionText(int32_t version);

    QTreeWidget* const lvKeyInfo;
    QPushButton* const btnRefreshKeys;
};
