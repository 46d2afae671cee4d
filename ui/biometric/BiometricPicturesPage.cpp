#include "ui/biometric/BiometricPicturesPage.h"

#include "ui/main/FormControls.h"

#include <QBoxLayout>
#include <QLabel>

BiometricPicturesPage::BiometricPicturesPage(QWidget* parent)
    : QWidget(parent), imgFingerOK(FormControls::label(this, "imgFingerOK")),
      imgFingerError(FormControls::label(this, "imgFingerError")),
      imgFingerDemo(FormControls::label(this, "imgFingerDemo")) {
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(imgFingerOK);
    layout->addWidget(imgFingerError);
    layout->addWidget(imgFingerDemo);
}
