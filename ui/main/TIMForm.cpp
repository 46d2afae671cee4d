#include "ui/main/TIMForm.h"

#include "app/LanguageTable.h"
#include "token/Pin.h"
#include "token/TokenLibrary.h"
#include "ui/main/DialogService.h"
#include "ui/main/FormControls.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QUuid>
#include <QVBoxLayout>

#include <algorithm>

using namespace FormControls;

namespace {

constexpr int ContainerNameLength = 40;
constexpr int PasswordLength = 255;

// The extension as the file name ends, dot included and case kept: ".cer" and ".CER" are different file types.
QString extensionOf(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot);
}

QRadioButton* radio(QWidget* parent, const char* name) {
    auto* control = new QRadioButton(parent);
    control->setObjectName(QLatin1String(name));
    return control;
}

QGroupBox* frame(QWidget* parent, const char* name) {
    auto* control = new QGroupBox(parent);
    control->setObjectName(QLatin1String(name));
    return control;
}

} // namespace

TIMForm::TIMForm(TokenLibrary& tokens, QWidget* parent)
    : QDialog(parent), m_tokens(tokens), GroupBox3(frame(this, "GroupBox3")), edtPath(edit(GroupBox3, "edtPath")),
      btnpath(button(GroupBox3, "btnpath")), Label2(label(GroupBox3, "Label2")),
      edtpwd(pinEdit(GroupBox3, "edtpwd", PasswordLength)), Label1(label(GroupBox3, "Label1")),
      GroupBox1(frame(this, "GroupBox1")), rb1(radio(GroupBox1, "rb1")),
      edtContname(edit(GroupBox1, "edtContname", ContainerNameLength)), btnRandom(button(GroupBox1, "btnRandom")),
      rb2(radio(GroupBox1, "rb2")), cbContName(new QComboBox(GroupBox1)), GroupBox2(frame(this, "GroupBox2")),
      rb3(radio(GroupBox2, "rb3")), rb4(radio(GroupBox2, "rb4")), btnOK(button(this, "btnOK")),
      btnNO(button(this, "btnNO")) {
    setObjectName(QStringLiteral("TIMForm"));
    // A dialog of fixed size: a title and a close button, nothing to minimize or maximize.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // The dialog takes the main window's font, which the language file chose.
    setAttribute(Qt::WA_WindowPropagation);
    cbContName->setObjectName(QStringLiteral("cbContName"));
    cbContName->setEditable(false);
    cbContName->setMinimumContentsLength(24);
    cbContName->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    edtPath->setReadOnly(true);
    edtPath->setFocusPolicy(Qt::ClickFocus);
    edtPath->setMinimumWidth(320);
    edtPath->setAcceptDrops(true);
    edtPath->installEventFilter(this);
    edtpwd->installEventFilter(this);
    rb1->setChecked(true);
    rb3->setChecked(true);

    auto* file = new QGridLayout(GroupBox3);
    file->addWidget(edtPath, 0, 0, 1, 2);
    file->addWidget(btnpath, 0, 2);
    file->addWidget(Label2, 1, 0);
    file->addWidget(edtpwd, 1, 1);
    file->addWidget(Label1, 1, 2);
    auto* container = new QGridLayout(GroupBox1);
    container->addWidget(rb1, 0, 0);
    container->addWidget(edtContname, 0, 1);
    container->addWidget(btnRandom, 0, 2);
    container->addWidget(rb2, 1, 0);
    container->addWidget(cbContName, 1, 1, 1, 2);
    auto* usage = new QVBoxLayout(GroupBox2);
    usage->addWidget(rb3);
    usage->addWidget(rb4);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox3);
    layout->addWidget(GroupBox1);
    layout->addWidget(GroupBox2);
    layout->addLayout(buttonRow({btnOK, btnNO}));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    tabOrder({btnpath, edtpwd, rb1, edtContname, btnRandom, rb2, cbContName, rb3, rb4, btnOK, btnNO});

    // Enter in a field confirms; Escape closes the dialog as cancelled, as btnNO does.
    btnOK->setDefault(true);
    connect(btnNO, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnOK, &QPushButton::clicked, this, &TIMForm::btnOKClick);
    connect(btnpath, &QPushButton::clicked, this, [this] {
        const QString path = DialogService::openFileName(this, textOf(TextKey::Import_Form_Btn_Load),
                                                         QStringLiteral("Cert file (*.pfx *.p12 *.p7b *.cer *.crt)"));
        if (!path.isEmpty())
            chooseFile(path);
    });
    connect(rb1, &QRadioButton::clicked, this, [this] {
        updateChoice();
        btnOK->setEnabled(!edtContname->text().isEmpty());
    });
    connect(rb2, &QRadioButton::clicked, this, [this] {
        updateChoice();
        btnOK->setEnabled(true);
    });
    connect(edtContname, &QLineEdit::textChanged, this,
            [this](const QString& text) { btnOK->setEnabled(!text.isEmpty()); });
    connect(btnRandom, &QPushButton::clicked, this, [this] { edtContname->setText(NewGuidName()); });
    connect(edtpwd, &QLineEdit::textChanged, this,
            [this](const QString& text) { Label1->setText(QString::number(characterCount(text))); });

    applyTexts();
    btnOK->setEnabled(false);
    setPasswordEnabled(false);
    updateChoice();
}

// The password is wiped as the dialog goes, not when the page discards it.
TIMForm::~TIMForm() {
    edtpwd->clear();
}

void TIMForm::done(int result) {
    edtpwd->clear();
    QDialog::done(result);
}

void TIMForm::applyTexts() {
    setWindowTitle(textOf(TextKey::Main_Form_btn_Import));
    GroupBox3->setTitle(textOf(TextKey::Import_Form_GroupBox1));
    btnpath->setText(textOf(TextKey::Import_Form_Btn_Load));
    Label2->setText(labelText(TextKey::Import_Form_Lable_Pwd));
    GroupBox1->setTitle(textOf(TextKey::Import_Form_GroupBox2));
    rb1->setText(textOf(TextKey::Import_Form_RBtn_New));
    btnRandom->setText(textOf(TextKey::Import_Form_Btn_Random));
    rb2->setText(textOf(TextKey::Import_Form_RBtn_Old));
    GroupBox2->setTitle(textOf(TextKey::Import_Form_GroupBox3));
    rb3->setText(textOf(TextKey::Import_Form_RBtn_CertMode1));
    rb4->setText(textOf(TextKey::Import_Form_RBtn_CertMode2));
    btnOK->setText(textOf(TextKey::C_Btn_Confirm));
    btnNO->setText(textOf(TextKey::C_Btn_Cancel));
}

void TIMForm::offerNewContainerOnly() {
    rb1->setChecked(true);
    rb2->setEnabled(false);
    updateChoice();
}

void TIMForm::offerContainers(const QStringList& names, int preselected) {
    cbContName->clear();
    cbContName->addItems(names);
    cbContName->setCurrentIndex(preselected);
    rb2->setChecked(true);
    updateChoice();
}

void TIMForm::updateChoice() {
    edtContname->setEnabled(rb1->isChecked());
    cbContName->setEnabled(rb2->isChecked());
    btnRandom->setEnabled(rb1->isChecked());
}

bool TIMForm::newContainer() const {
    return rb1->isChecked();
}

QString TIMForm::newContainerName() const {
    return edtContname->text();
}

int TIMForm::chosenContainer() const {
    return cbContName->currentIndex();
}

int32_t TIMForm::usage() const {
    return rb3->isChecked() ? ExchangeUsage : SignatureUsage;
}

QString TIMForm::filePath() const {
    return edtPath->text();
}

QString TIMForm::NewGuidName() {
    return QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
}

void TIMForm::setPasswordEnabled(bool enabled) {
    edtpwd->setEnabled(enabled);
    QPalette palette = edtpwd->palette();
    palette.setBrush(QPalette::Base, enabled ? this->palette().base() : this->palette().button());
    edtpwd->setPalette(palette);
}

void TIMForm::chooseFile(const QString& path) {
    edtPath->setText(path);
    const QString extension = extensionOf(path);
    if (extension == QLatin1String(".cer") || extension == QLatin1String(".p7b")) {
        setPasswordEnabled(false);
    } else {
        setPasswordEnabled(true);
        edtpwd->setFocus();
    }
    if (rb2->isChecked())
        btnOK->setEnabled(true);
}

bool TIMForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edtPath && (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove)) {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (drag->mimeData()->hasUrls()) {
            drag->acceptProposedAction();
            return true;
        }
    } else if (watched == edtPath && event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        // Each dropped file that exists is taken in turn: the last one stays.
        for (const QUrl& url : drop->mimeData()->urls()) {
            if (const QString path = url.toLocalFile(); !path.isEmpty() && QFileInfo(path).isFile())
                chooseFile(path);
        }
        drop->acceptProposedAction();
        return true;
    } else if (watched == edtpwd && event->type() == QEvent::FocusIn) {
        Label1->setText(QString::number(characterCount(edtpwd->text())));
    } else if (watched == edtpwd && event->type() == QEvent::FocusOut) {
        Label1->clear();
    }
    return QDialog::eventFilter(watched, event);
}

bool TIMForm::parseFile() {
    const QString path = edtPath->text();
    const QString extension = extensionOf(path);
    int32_t count = 0;
    int32_t rv = 0;
    if (extension == QLatin1String(".cer")) {
        m_fileType = ImportJob::X509;
        m_count = 1;
        return true;
    }
    if (extension == QLatin1String(".p7b")) {
        m_fileType = ImportJob::Pkcs7;
        rv = m_tokens.p7b_file_parse(path, count);
    } else {
        // .pfx, .p12, .crt and any other name: a PKCS#12 file, opened with the password typed.
        m_fileType = ImportJob::Pkcs12;
        rv = m_tokens.pkcs12_file_parse(path, Pin(edtpwd->text()), count);
    }
    if (rv != 0) {
        DialogService::information(this, textOf(TextKey::I_CertPINError));
        if (edtpwd->isEnabled())
            edtpwd->setFocus();
        return false;
    }
    if (count == 0) {
        DialogService::information(this, textOf(TextKey::I_CertFileError));
        return false;
    }
    m_count = count;
    return true;
}

void TIMForm::btnOKClick() {
    if (!QFileInfo(edtPath->text()).isFile()) {
        DialogService::information(this, textOf(TextKey::I_SelectCert));
        return;
    }
    if (!parseFile())
        return;
    // Blanks are what the trimming of a name takes away: control characters and the space, nothing else.
    const QString name = edtContname->text();
    const bool blank = std::all_of(name.begin(), name.end(), [](QChar c) { return c.unicode() <= u' '; });
    if (rb1->isChecked() && blank) {
        DialogService::information(this, textOf(TextKey::K_Cont_NullName));
        return;
    }
    accept();
}
