#include "ui/biometric/TFingerInputForm.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "token/SkfLibrary.h"
#include "ui/biometric/ResponsiveWait.h"
#include "ui/main/FormControls.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace FormControls;

TFingerInputForm::TFingerInputForm(SkfLibrary& skf, const FingerPictures& pictures, QWidget* parent)
    : FingerDialog(pictures, parent), m_skf(skf), Image1(label(this, "Image1")), Label1(label(this, "Label1")),
      LMsg(label(this, "LMsg")), PB(new QProgressBar(this)), btnCancel(button(this, "btnCancel")),
      btnRun(button(this, "btnRun")), Trun(timer(this, "Trun", 1000)), TClose(timer(this, "TClose", 1000)) {
    setObjectName(QStringLiteral("TFingerInputForm"));
    PB->setObjectName(QStringLiteral("PB"));
    Image1->setFixedSize(StatusPictureSize);
    Image1->setScaledContents(true);
    Image1->setAlignment(Qt::AlignCenter);
    LMsg->setAlignment(Qt::AlignCenter);
    LMsg->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Image1, 0, Qt::AlignHCenter);
    layout->addWidget(Label1);
    layout->addWidget(LMsg);
    layout->addWidget(PB);
    layout->addLayout(buttonRow({btnRun, btnCancel}));
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setEscapeButton(btnCancel);
    connect(btnCancel, &QPushButton::clicked, this, [this] { finish(false); });
    connect(btnRun, &QPushButton::clicked, this, &TFingerInputForm::runEnrolment);
    connect(Trun, &QTimer::timeout, this, [this] {
        Trun->stop();
        runEnrolment();
    });
    connect(TClose, &QTimer::timeout, this, [this] { countdownTick(btnCancel, TClose, m_countdown); });
}

void TFingerInputForm::setEnrolment(const QString& caption, int finger, HAPPLICATION application, SKF_ULONG pinType,
                                    int sampleCount) {
    setWindowTitle(caption);
    m_finger = finger;
    m_application = application;
    m_pinType = pinType;
    m_sampleCount = sampleCount;
}

void TFingerInputForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Label1->setText(textOf(TextKey::F_Input_Info2));
    LMsg->setText(textOf(TextKey::F_Input_Info1));
    btnCancel->setText(textOf(TextKey::P_Btn_Close));
    btnRun->setText(textOf(TextKey::F_Input_Reset));
    playAnimation(Image1);
    btnCancel->setEnabled(false);
    btnRun->setEnabled(false);
    m_countdown = CountdownStart;
    PB->setRange(0, std::max(1, m_sampleCount));
    PB->setValue(0);
    Trun->start();
}

void TFingerInputForm::status(const QString& text, bool failure, const QPixmap* picture) {
    showStatus(LMsg, Image1, text, failure, picture);
}

void TFingerInputForm::runEnrolment() {
    status(textOf(TextKey::F_Input_Info1), false, nullptr);
    playAnimation(Image1);
    m_skf.SKF_SetFingerMode(0, SKF_ULONG(m_sampleCount));
    if (const SKF_ULONG rv = m_skf.SKF_EnrollFingerInit(m_application, m_pinType, SKF_ULONG(m_finger)); rv != SAR_OK) {
        m_result = rv;
        status(rv == SAR_USER_NOT_LOGGED_IN       ? textOf(TextKey::P_SAR_USER_NOT_LOGGED_IN)
               : rv == SAR_APPLICATION_NOT_EXISTS ? textOf(TextKey::P_SAR_APPLICATION_NOT_EXISTS)
                                                  : Format(textOf(TextKey::P_FormatError), {qlonglong(rv)}),
               true, &m_pictures.failure);
        TClose->start();
        btnCancel->setEnabled(true);
        return;
    }
    btnRun->setEnabled(false);
    btnCancel->setEnabled(false);
    PB->setValue(0);
    SKF_ULONG last = 0;
    SKF_ULONG rv = SAR_OK;
    for (;;) {
        SKF_ULONG progress = 0;
        rv = m_skf.SKF_EnrollFinger(m_application, m_pinType, SKF_ULONG(m_finger), progress);
        // One step per increase, however far the value jumped.
        if (progress > last) {
            PB->setValue(std::min(PB->maximum(), PB->value() + 1));
            last = progress;
        }
        if (rv != SAR_FINGER_CONTINUE)
            break;
        ResponsiveWait::wait(PollMilliseconds);
    }
    m_result = rv;
    PB->setValue(PB->maximum());
    PB->repaint();
    ResponsiveWait::wait(PollMilliseconds);
    if (rv == SAR_OK) {
        status(textOf(TextKey::F_Input_OK), false, &m_pictures.success);
        finish(true);
        return;
    }
    if (rv == SAR_FINGER_CAPTURE_FAILED) {
        status(textOf(TextKey::F_Input_Error), true, &m_pictures.failure);
        btnRun->setEnabled(true);
        btnCancel->setEnabled(true);
        return;
    }
    status(rv == SAR_FINGER_EXIST ? textOf(TextKey::F_Input_Exist)
                                  : Format(textOf(TextKey::P_FormatError), {qlonglong(rv)}),
           true, &m_pictures.failure);
    TClose->start();
    btnCancel->setEnabled(true);
}
