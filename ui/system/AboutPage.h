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

private:
    QLabel* const label_language;
    QComboBox* const cbLanguageID;
    QLabel* const Label17;
    QLabel* const Label20;
    QLabel* const Label18;
    QLabel* const Label19;
    QFrame* const lineSeparator;
    QLabel* const Label15;
};
