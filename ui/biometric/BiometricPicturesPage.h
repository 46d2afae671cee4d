#pragma once

#include "ui/main/Page.h"

#include <QPixmap>

class QLabel;

// The pictures the biometric dialogs show: success, failure, and the animation that asks for the finger (a file,
// played as it is read). A missing file leaves its picture empty.
struct FingerPictures {
    QPixmap success;
    QPixmap failure;
    QString animation;
};

// Page 12, never shown: holds the success, failure and capture pictures that the biometric dialogs borrow.
class BiometricPicturesPage : public Page {
    Q_OBJECT
public:
    BiometricPicturesPage(PageHost& host, QWidget* parent);
    // The pictures of folder (ending with "/"), where present.
    void loadPictures(const QString& folder);
    const FingerPictures& pictures() const { return m_pictures; }

private:
    QLabel* const imgFingerOK;
    QLabel* const imgFingerError;
    QLabel* const imgFingerDemo;
    FingerPictures m_pictures;
};
