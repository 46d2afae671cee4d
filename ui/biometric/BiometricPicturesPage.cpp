#include "ui/biometric/BiometricPicturesPage.h"

#include "ui/main/FormControls.h"

#include <QBoxLayout>
#include <QFileInfo>
#include <QLabel>

using namespace FormControls;

BiometricPicturesPage::BiometricPicturesPage(PageHost& host, QWidget* parent)
    : Page(host, parent), imgFingerOK(label(this, "imgFingerOK")), imgFingerError(label(this, "imgFingerError")),
      imgFingerDemo(label(this, "imgFingerDemo")) {
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(imgFingerOK);
    layout->addWidget(imgFingerError);
    layout->addWidget(imgFingerDemo);
}

void BiometricPicturesPage::loadPictures(const QString& folder) {
    loadPictureIfPresent(imgFingerOK, folder + QStringLiteral("FingerOK.png"));
    loadPictureIfPresent(imgFingerError, folder + QStringLiteral("FingerError.png"));
    loadPictureIfPresent(imgFingerDemo, folder + QStringLiteral("FingerDemo.gif"));
    // A set without some picture keeps the earlier set's, as the labels do.
    if (const QPixmap ok(folder + QStringLiteral("FingerOK.png")); !ok.isNull())
        m_pictures.success = ok;
    if (const QPixmap error(folder + QStringLiteral("FingerError.png")); !error.isNull())
        m_pictures.failure = error;
    if (QFileInfo::exists(folder + QStringLiteral("FingerDemo.gif")))
        m_pictures.animation = folder + QStringLiteral("FingerDemo.gif");
}
