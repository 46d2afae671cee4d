#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// Page 2: give the token a new label.
class KeyLabelPage : public QWidget {
    Q_OBJECT
public:
    // A label is at most 31 characters; its UTF-8 form is checked when it is written.
    static constexpr int LabelMaxLength = 31;

    explicit KeyLabelPage(QWidget* parent = nullptr);
    void applyTexts();

    QLabel* const Label8;
    QLineEdit* const edtKeyName;
    QPushButton* const RzButton1;
};
