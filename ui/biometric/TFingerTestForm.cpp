#include "ui/biometric/TFingerTestForm.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "token/SkfLibrary.h"
#include "ui/biometric/ResponsiveWait.h"
#include "ui/main/DialogService.h"
#include "ui/main/FormControls.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace FormControls;

namespace {

constexpr int PollMilliseconds = 200;

// What a failed start of the sensor is told as.
QString startFailure(SKF_ULONG rv) {
    return rv == SAR_PIN_LOCKED         ? textOf(TextKey::P_SAR_PIN_LOCKED)
           : rv == SAR_FINGER_NOT_EXIST ? textOf(TextKey::P_SAR_FINGER_NOT_EXIST)
                                        : Format(textOf(TextKey::P_FormatError), {qlonglong(rv)});
}

} // namespace

TFingerTestForm::TFingerTestForm(SkfLibrary& skf, const QPixmap& hand, const QIcon& matched, QWidget* parent)
    : FingerDialog(FingerPictures(), parent), m_skf(skf), m_matched(matched), ImgHand(label(this, "ImgHand")),
      Label1(label(this, "Label1")), LMsg(label(this, "LMsg")), btnCancel(button(this, "btnCancel")),
      btnTest(button(this, "btnTest")), Trun(timer(this, "Trun", 1000)) {
    setObjectName(QStringLiteral("TFingerTestForm"));
    if (!hand.isNull())
        ImgHand->setPixmap(hand);
    QWidget* hands = FingerHand::build(this, ImgHand, SpeedButtons);
    for (QToolButton* finger : SpeedButtons)
        finger->setCursor(Qt::ArrowCursor);
    LMsg->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hands, 0, Qt::AlignHCenter);
    layout->addWidget(Label1);
    layout->addWidget(LMsg);
    layout->addLayout(buttonRow({btnTest, btnCancel}));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setEscapeButton(btnCancel);
    connect(btnCancel, &QPushButton::clicked, this, [this] { finish(false); });
    connect(btnTest, &QPushButton::clicked, this, [this] {
        // The page's markers come back before the next test.
        for (int i = 0; i < FingerHand::FingerCount; ++i)
            SpeedButtons[size_t(i)]->setIcon(m_markers[size_t(i)]);
        test();
    });
    connect(Trun, &QTimer::timeout, this, [this] {
        Trun->stop();
        test();
    });
}

void TFingerTestForm::setTest(const QString& caption, HAPPLICATION application, SKF_ULONG pinType,
                              const std::array<QIcon, FingerHand::FingerCount>& markers) {
    setWindowTitle(caption);
    m_application = application;
    m_pinType = pinType;
    m_markers = markers;
    for (int i = 0; i < FingerHand::FingerCount; ++i)
        SpeedButtons[size_t(i)]->setIcon(markers[size_t(i)]);
}

void TFingerTestForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Label1->setText(textOf(TextKey::F_Test_Info1));
    LMsg->setText(textOf(TextKey::F_Test_Info2));
    btnCancel->setText(textOf(TextKey::P_Btn_Close));
    btnTest->setText(textOf(TextKey::F_Test_Reset));
    btnCancel->setEnabled(false);
    btnTest->setEnabled(false);
    Trun->start();
}

void TFingerTestForm::status(const QString& text, bool failure) {
    LMsg->setText(text);
    LMsg->setStyleSheet(failure ? QStringLiteral("color: red") : QStringLiteral("color: blue"));
}

void TFingerTestForm::test() {
    if (const SKF_ULONG rv = m_skf.SKF_VerifyFingerInit(m_application, m_pinType); rv != SAR_OK) {
        DialogService::information(this, startFailure(rv));
        finish(false);
        return;
    }
    status(textOf(TextKey::F_Wait_Info), false);
    btnCancel->setEnabled(false);
    btnTest->setEnabled(false);
    SKF_ULONG finger = 0;
    SKF_ULONG rv = SAR_OK;
    while ((rv = m_skf.SKF_TestFinger(m_application, m_pinType, finger)) == SAR_FINGER_CONTINUE)
        ResponsiveWait::wait(PollMilliseconds);
    if (rv == SAR_OK) {
        status(textOf(TextKey::F_Test_OK), false);
        if (finger >= 1 && finger <= SKF_ULONG(FingerHand::FingerCount))
            SpeedButtons[size_t(finger - 1)]->setIcon(m_matched);
    } else if (rv == SAR_FINGER_CAPTURE_FAILED) {
        status(textOf(TextKey::F_Test_Error), true);
    } else if (rv == SAR_FINGER_EXIST) {
        status(textOf(TextKey::P_SAR_FINGER_EXIST), true);
    } else if (rv == SAR_FINGER_NOT_EXIST) {
        status(textOf(TextKey::P_SAR_FINGER_NOT_EXIST), true);
    } else {
        status(Format(textOf(TextKey::P_FormatError), {qlonglong(rv)}), true);
    }
    btnCancel->setEnabled(true);
    btnTest->setEnabled(true);
}
