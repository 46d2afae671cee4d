#pragma once

#include "ui/main/Page.h"

class QLabel;

// Page 12, never shown: holds the success, failure and capture pictures that the biometric dialogs borrow.
class BiometricPicturesPage : public Page {
    Q_OBJECT
public:
    BiometricPicturesPage(PageHost& host, QWidget* parent);
    // The pictures of folder (ending with "/"), where present.
    void loadPictures(const QString& folder);

private:
    QLabel* const imgFingerOK;
    QLabel* const imgFingerError;
    QLabel* const imgFingerDemo;
};
