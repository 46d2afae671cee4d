#include "ui/biometric/TFingerVerifyForm.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "token/SkfLibrary.h"
#include "token/TokenLibrary.h"
#include "ui/main/FormControls.h"

#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

using namespace FormControls;

TFingerVerifyForm::TFingerVerifyForm(TokenLibrary& tokens, SkfLibrary& skf, const FingerPictures& pictures,
                                     QWidget* parent)
    : FingerDialog(pictures, parent), m_tokens(tokens), m_skf(skf), Image1(label(this, "Image1")),
      Label1(label(this, "Label1")), LMsg(label(this, "LMsg")), btnCancel(button(this, "btnCancel")),
      Trun(timer(this, "Trun", 1000)), TClose(timer(this, "TClose", 1000)) {
    setObjectName(QStringLiteral("TFingerVerifyForm"));
    Image1->setFixedSize(StatusPictureSize);
    Image1->setScaledContents(true);
    Image1->setAlignment(Qt::AlignCenter);
    Label1->setAlignment(Qt::AlignCenter);
    LMsg->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Image1, 0, Qt::AlignHCenter);
    layout->addWidget(Label1);
    layout->addWidget(LMsg);
    layout->addLayout(buttonRow({btnCancel}));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setEscapeButton(btnCancel);
    connect(btnCancel, &QPushButton::clicked, this, [this] { finish(false); });
    connect(Trun, &QTimer::timeout, this, [this] {
        Trun->stop();
        verify();
    });
    connect(TClose, &QTimer::timeout, this, [this] { countdownTick(btnCancel, TClose, m_countdown); });
}

void TFingerVerifyForm::setVerification(const QString& caption, int32_t token, HAPPLICATION application,
                                        SKF_ULONG pinType) {
    setWindowTitle(caption);
    m_token = token;
    m_application = application;
    m_pinType = pinType;
}

void TFingerVerifyForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Label1->setText(textOf(TextKey::F_Verify_Info1));
    LMsg->setText(textOf(TextKey::F_Verify_Info2));
    btnCancel->setText(textOf(TextKey::P_Btn_Close));
    playAnimation(Image1);
    btnCancel->setEnabled(false);
    m_countdown = CountdownStart;
    Trun->start();
}

void TFingerVerifyForm::verify() {
    // Without a PIN the token asks its sensor, which may take seconds: the login runs on a thread of its own while
    // the dialog goes on painting and playing its animation.
    QThread* login = QThread::create([this] {
        int32_t remaining = 0;
        m_result = m_pinType == SKF_PIN_ADMIN ? m_tokens.token_login_so(m_token, Pin(), remaining)
                                              : m_tokens.token_login(m_token, Pin(), remaining);
    });
    QEventLoop waiting;
    connect(login, &QThread::finished, &waiting, &QEventLoop::quit);
    login->start();
    waiting.exec();
    login->wait();
    delete login;
    const auto status = [this](const QString& text, bool failure) {
        showStatus(LMsg, Image1, text, failure, failure ? &m_pictures.failure : &m_pictures.success);
    };
    if (m_result == 0) {
        status(textOf(TextKey::F_Test_OK), false);
    } else if (SKF_ULONG(m_result) == SAR_FINGER_CAPTURE_FAILED) {
        status(textOf(TextKey::F_Test_Error), true);
    } else {
        TSkfFingerInfo fingers;
        m_skf.GetSkfFingerInfo(m_application, m_pinType, fingers);
        status(Format(textOf(TextKey::F_Verify_Format), {qlonglong(fingers.outputs[3])}), true);
    }
    btnCancel->setEnabled(true);
    if (m_result == 0)
        m_countdown = 0;
    TClose->start();
}
