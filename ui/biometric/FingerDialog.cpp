#include "ui/biometric/FingerDialog.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "ui/biometric/ResponsiveWait.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMovie>
#include <QPushButton>
#include <QTimer>

FingerDialog::FingerDialog(const FingerPictures& pictures, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_pictures(pictures) {
    // The dialog takes the main window's font, which the language file chose.
    setAttribute(Qt::WA_WindowPropagation);
}

SKF_ULONG FingerDialog::pollSensor(const std::function<SKF_ULONG()>& look) {
    SKF_ULONG rv = SAR_OK;
    while ((rv = look()) == SAR_FINGER_CONTINUE)
        ResponsiveWait::wait(PollMilliseconds);
    return rv;
}

QString FingerDialog::startFailureText(SKF_ULONG rv) {
    return rv == SAR_PIN_LOCKED         ? textOf(TextKey::P_SAR_PIN_LOCKED)
           : rv == SAR_FINGER_NOT_EXIST ? textOf(TextKey::P_SAR_FINGER_NOT_EXIST)
                                        : Format(textOf(TextKey::P_FormatError), {qlonglong(rv)});
}

void FingerDialog::closeEvent(QCloseEvent* event) {
    if (m_closing)
        QDialog::closeEvent(event);
    else
        event->ignore();
}

void FingerDialog::reject() {
    if (m_closing)
        QDialog::reject();
    else if (m_escape && m_escape->isEnabled())
        m_escape->click();
}

void FingerDialog::finish(bool accepted) {
    m_closing = true;
    if (accepted)
        accept();
    else
        reject();
}

void FingerDialog::playAnimation(QLabel* image) {
    if (m_pictures.animation.isEmpty()) {
        image->clear();
        return;
    }
    if (!m_movie) {
        m_movie = new QMovie(m_pictures.animation, QByteArray(), this);
        m_movie->setSpeed(500); // five times its own pace
    }
    image->setMovie(m_movie);
    m_movie->start();
}

void FingerDialog::showStatus(QLabel* line, QLabel* image, const QString& text, bool failure, const QPixmap* picture) {
    line->setText(text);
    line->setStyleSheet(failure ? QStringLiteral("color: red") : QStringLiteral("color: blue"));
    if (!picture)
        return;
    if (m_movie)
        m_movie->stop();
    image->setPixmap(*picture);
}

void FingerDialog::countdownTick(QPushButton* close, QTimer* timer, int& counter) {
    if (counter > 0) {
        close->setText(Format(QStringLiteral("%s(%d)"), {textOf(TextKey::P_Btn_Close), counter}));
        --counter;
        return;
    }
    timer->stop();
    finish(true);
}
