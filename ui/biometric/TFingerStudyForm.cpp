#include "ui/biometric/TFingerStudyForm.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "app/OwnTexts.h"
#include "token/SkfLibrary.h"
#include "ui/main/DialogService.h"
#include "ui/main/FormControls.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace FormControls;

TFingerStudyForm::TFingerStudyForm(SkfLibrary& skf, const FingerPictures& pictures, QWidget* parent)
    : FingerDialog(pictures, parent), m_skf(skf), LMsg(label(this, "LMsg")), Label1(label(this, "Label1")),
      Image1(label(this, "Image1")), PB(new QProgressBar(this)), btnCancel(button(this, "btnCancel")),
      btnTest(button(this, "btnTest")), Trun(timer(this, "Trun", 1000)) {
    setObjectName(QStringLiteral("TFingerStudyForm"));
    setWindowTitle(ownText(OwnKey::Study_Title));
    PB->setObjectName(QStringLiteral("PB"));
    Image1->setFixedSize(StatusPictureSize);
    Image1->setScaledContents(true);
    LMsg->setAlignment(Qt::AlignCenter);
    LMsg->setText(ownText(OwnKey::Study_Adjust));
    Label1->setText(ownText(OwnKey::Study_Prompt));
    btnCancel->setText(ownText(OwnKey::Study_Close));
    btnTest->setText(ownText(OwnKey::Study_Again));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LMsg);
    layout->addWidget(Label1);
    layout->addWidget(Image1, 0, Qt::AlignHCenter);
    layout->addWidget(PB);
    layout->addLayout(buttonRow({btnTest, btnCancel}));
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(Trun, &QTimer::timeout, this, &TFingerStudyForm::TrunTimer);
    connect(btnTest, &QPushButton::clicked, this, [this] {
        m_passesToGo = Passes;
        PB->setRange(0, m_total);
        PB->setValue(0);
        Trun->start();
    });
    setEscapeButton(btnCancel);
    // A poll under way ends first; the dialog goes as soon as it has.
    connect(btnCancel, &QPushButton::clicked, this, [this] {
        btnCancel->setText(ownText(OwnKey::Study_Closing));
        m_cancelRequested = true;
        if (!m_polling)
            finish(false);
    });
}

void TFingerStudyForm::setStudy(HAPPLICATION application, SKF_ULONG pinType, int finger) {
    m_application = application;
    m_pinType = pinType;
    m_finger = finger;
}

void TFingerStudyForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    playAnimation(Image1);
    m_passesToGo = Passes;
    m_total = Passes;
    PB->setRange(0, Passes);
    PB->setValue(0);
    btnTest->setEnabled(false);
    Trun->start();
}

void TFingerStudyForm::status(const QString& text, bool failure) {
    showStatus(LMsg, Image1, text, failure, failure ? &m_pictures.failure : &m_pictures.success);
}

void TFingerStudyForm::TrunTimer() {
    Trun->stop();
    runPass();
    if (m_cancelRequested) {
        finish(false);
        return;
    }
    if (m_passesToGo > 0)
        Trun->start();
    else
        finishedWhenDone();
}

void TFingerStudyForm::finishedWhenDone() {
    btnTest->setEnabled(true);
    btnCancel->setEnabled(true);
    btnTest->setFocus();
}

void TFingerStudyForm::runPass() {
    btnCancel->setEnabled(true);
    if (const SKF_ULONG rv = m_skf.SKF_VerifyFingerInit(m_application, m_pinType); rv != SAR_OK) {
        Trun->stop();
        m_passesToGo = 0;
        btnTest->setEnabled(true);
        btnCancel->setEnabled(true);
        DialogService::information(this, startFailureText(rv));
        return;
    }
    showStatus(LMsg, Image1, ownText(OwnKey::Study_Adjust), false, nullptr);
    playAnimation(Image1);
    btnTest->setEnabled(false);
    SKF_ULONG finger = 0;
    m_polling = true;
    const SKF_ULONG rv = pollSensor([&] { return m_skf.SKF_TestFinger(m_application, m_pinType, finger); });
    m_polling = false;
    if (rv == SAR_OK && finger == SKF_ULONG(m_finger)) {
        --m_passesToGo;
        PB->setValue(m_total - m_passesToGo);
        status(m_passesToGo > 0 ? ownText(OwnKey::Study_Passed) : ownText(OwnKey::Study_Done), false);
    } else if (rv == SAR_OK) {
        status(ownText(OwnKey::Study_NotMatched), true);
    } else if (rv == SAR_FINGER_NO_CERT) {
        status(ownText(OwnKey::Study_NoCertificate), true);
    } else if (rv == SAR_FINGER_CAPTURE_FAILED) {
        status(ownText(OwnKey::Study_TestFailed), true);
    } else if (rv == SAR_FINGER_EXIST) {
        status(ownText(OwnKey::Study_Exists), true);
    } else if (rv == SAR_FINGER_NOT_EXIST) {
        status(ownText(OwnKey::Study_NotEnrolled), true);
    } else {
        status(Format(textOf(TextKey::P_FormatError), {qlonglong(rv)}), true);
    }
}
