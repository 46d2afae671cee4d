#include "ui/biometric/TFingerStudyForm.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
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
    setWindowTitle(QStringLiteral("指纹学习"));
    PB->setObjectName(QStringLiteral("PB"));
    Image1->setFixedSize(StatusPictureSize);
    Image1->setScaledContents(true);
    LMsg->setAlignment(Qt::AlignCenter);
    LMsg->setText(QStringLiteral("调整手指姿势录入不同区域..."));
    Label1->setText(QStringLiteral("指示灯闪烁，将手指放在指纹采集器上..."));
    btnCancel->setText(QStringLiteral("关闭"));
    btnTest->setText(QStringLiteral("重新学习(&R)"));
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
        btnCancel->setText(QStringLiteral("即将关闭"));
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
    showStatus(LMsg, Image1, QStringLiteral("调整手指姿势录入不同区域..."), false, nullptr);
    playAnimation(Image1);
    btnTest->setEnabled(false);
    SKF_ULONG finger = 0;
    m_polling = true;
    const SKF_ULONG rv = pollSensor([&] { return m_skf.SKF_TestFinger(m_application, m_pinType, finger); });
    m_polling = false;
    if (rv == SAR_OK && finger == SKF_ULONG(m_finger)) {
        --m_passesToGo;
        PB->setValue(m_total - m_passesToGo);
        status(m_passesToGo > 0 ? QStringLiteral("学习成功,手指离开指纹器...") : QStringLiteral("学习成功"), false);
    } else if (rv == SAR_OK) {
        status(QStringLiteral("指纹不匹配,手指离开指纹器..."), true);
    } else if (rv == SAR_FINGER_NO_CERT) {
        status(QStringLiteral("指纹未绑定证书"), true);
    } else if (rv == SAR_FINGER_CAPTURE_FAILED) {
        status(QStringLiteral("测试指纹失败,手指离开指纹器..."), true);
    } else if (rv == SAR_FINGER_EXIST) {
        status(QStringLiteral("指纹已存在,手指离开指纹器..."), true);
    } else if (rv == SAR_FINGER_NOT_EXIST) {
        status(QStringLiteral("指纹不存在,手指离开指纹器..."), true);
    } else {
        status(Format(textOf(TextKey::P_FormatError), {qlonglong(rv)}), true);
    }
}
