#include "ui/biometric/TFingerTestForm.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "token/SkfLibrary.h"
#include "ui/main/DialogService.h"
#include "ui/main/FormControls.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace FormControls;

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
    showStatus(LMsg, ImgHand, text, failure, nullptr);
}

void TFingerTestForm::test() {
    if (const SKF_ULONG rv = m_skf.SKF_VerifyFingerInit(m_application, m_pinType); rv != SAR_OK) {
        DialogService::information(this, startFailureText(rv));
        finish(false);
        return;
    }
    status(textOf(TextKey::F_Wait_Info), false);
    btnCancel->setEnabled(false);
    btnTest->setEnabled(false);
    SKF_ULONG finger = 0;
    const SKF_ULONG rv = pollSensor([&] { return m_skf.SKF_TestFinger(m_application, m_pinType, finger); });
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
