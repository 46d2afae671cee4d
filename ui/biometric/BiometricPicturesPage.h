#pragma once

#include <QWidget>

class QLabel;

// Page 12, never shown: holds the success, failure and capture pictures that the biometric dialogs borrow.
class BiometricPicturesPage : public QWidget {
    Q_OBJECT
public:
    explicit BiometricPicturesPage(QWidget* parent = nullptr);

    QLabel* const imgFingerOK;
    QLabel* const imgFingerError;
    QLabel* const imgFingerDemo;
};
