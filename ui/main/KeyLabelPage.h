#pragma once

#include "ui/main/Page.h"

class QLabel;
class QLineEdit;
class QPushButton;

// Page 2: the user gives the token a new label.
class KeyLabelPage : public Page {
    Q_OBJECT
public:
    // A label is at most 31 characters; its UTF-8 form is checked when it is written.
    static constexpr int LabelMaxLength = 31;

    KeyLabelPage(PageHost& host, QWidget* parent);
    void applyTexts() override;
    void updateActions() override;

    // The navigation opens the page with the token's label, blanks around it removed.
    void Prepare(const QString& label);

private:
    void AcSetKeyNameExecute();

    QLabel* const Label8;
    QLineEdit* const edtKeyName;
    QPushButton* const RzButton1;
    QAction* const AcSetKeyName;
};
