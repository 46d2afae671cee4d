#pragma once

#include "ui/main/Page.h"

class QComboBox;
class QFrame;
class QLabel;

// Page 6: the maker's web address, support e-mail and legal notice, and the language selector.
class AboutPage : public Page {
    Q_OBJECT
public:
    AboutPage(PageHost& host, QWidget* parent);
    void applyTexts() override;
    // The language label and selector, which switch the language at once; shown with the administrator's tools.
    void offerLanguageChoice(bool offered);

protected:
    // The two links open on a click, and on Enter or Space while they have the keyboard.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void openLink(const QLabel* link);

    QLabel* const label_language;
    QComboBox* const cbLanguageID;
    QLabel* const Label17;
    QLabel* const Label20;
    QLabel* const Label18;
    QLabel* const Label19;
    QFrame* const lineSeparator;
    QLabel* const Label15;
};
