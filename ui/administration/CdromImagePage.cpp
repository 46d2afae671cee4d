#include "ui/administration/CdromImagePage.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "platform/TextEncoding.h"
#include "token/TokenLibrary.h"
#include "ui/main/BusyCursor.h"
#include "ui/main/DialogService.h"
#include "ui/main/FormControls.h"
#include "ui/main/WindowState.h"

#include <QAction>
#include <QBoxLayout>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QToolButton>

#include <limits>

using namespace FormControls;

namespace {

int chunkPause = 100;
constexpr int SuccessPause = 500;

} // namespace

CdromImagePage::CdromImagePage(PageHost& host, QWidget* parent)
    : Page(host, parent), LAdmin_UPIN(label(this, "LAdmin_UPIN")),
      edtUPINForDownISO(pinEdit(this, "edtUPINForDownISO")), LAdmin_ISOPath(label(this, "LAdmin_ISOPath")),
      edtPath(edit(this, "edtPath")), btnBrowseISO(new QToolButton(this)), PBISO(new QProgressBar(this)),
      btnDownISO(button(this, "btnDownISO")), AcDownISO(makeAction("AcDownISO")) {
    btnBrowseISO->setObjectName(QStringLiteral("btnBrowseISO"));
    btnBrowseISO->setText(QStringLiteral("..."));
    PBISO->setObjectName(QStringLiteral("PBISO"));
    PBISO->setRange(0, 100);
    PBISO->setValue(0);

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(edtPath, 1);
    pathRow->addWidget(btnBrowseISO);
    QFormLayout* fields = form();
    fields->addRow(LAdmin_UPIN, edtUPINForDownISO);
    fields->addRow(LAdmin_ISOPath, pathRow);
    fields->addRow(QString(), PBISO);
    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(formPanel(this, fields, {btnDownISO}));
    layout->addStretch(1);
    tabOrder({edtUPINForDownISO, edtPath, btnBrowseISO, btnDownISO});
    bindToAction(btnDownISO, AcDownISO);
    connect(AcDownISO, &QAction::triggered, this, &CdromImagePage::AcDownISOExecute);
    connect(btnBrowseISO, &QToolButton::clicked, this, &CdromImagePage::btnBrowseISOClick);
    for (QLineEdit* field : {edtUPINForDownISO, edtPath})
        connect(field, &QLineEdit::textChanged, this, &CdromImagePage::updateActions);
    updateActions();
}

void CdromImagePage::setChunkPause(int milliseconds) {
    chunkPause = milliseconds;
}

void CdromImagePage::updateActions() {
    const KeySlot* slot = m_host.state().currentSlot();
    AcDownISO->setEnabled(characterCount(edtUPINForDownISO->text()) >= (slot ? slot->info.minPinLength : 0) &&
                          !edtPath->text().isEmpty());
}

void CdromImagePage::btnBrowseISOClick() {
    const QString path =
        DialogService::openFileName(this, textOf(TextKey::Admin_label_ISOPath), QStringLiteral("ISO File (*.iso)"));
    if (!path.isEmpty())
        edtPath->setText(path);
}

void CdromImagePage::AcDownISOExecute() {
    QWidget* owner = m_host.dialogOwner();
    const int32_t index = m_host.state().CurrentKey;
    KeySlot* slot = m_host.state().slot(index);
    if (!slot)
        return;
    // The path goes the way the token library's paths go: through the locale's encoding.
    const QString path = TextEncoding::fromLocal8(TextEncoding::toLocal8(edtPath->text()));
    if (!QFileInfo(path).isFile()) {
        DialogService::information(owner, textOf(TextKey::ISOFile_error));
        return;
    }
    TokenLibrary& tokens = m_host.tokenLibrary();
    tokens.token_logout(index);
    slot->KeyState = KeySlot::Present;
    PinState user;
    tokens.token_get_pin_state(index, UserPinType, user);
    if (user.locked == PinState::Locked) {
        DialogService::information(owner, textOf(TextKey::K_Dead));
        return;
    }
    int32_t remaining = 0;
    if (tokens.token_login(index, Pin(edtUPINForDownISO->text()), remaining) != 0) {
        DialogService::information(owner, textOf(TextKey::K_User_error));
        return;
    }
    int32_t rv = 0;
    {
        const BusyCursor busy;
        rv = WriteCdromImage(index, path);
    }
    if (rv == FileError) {
        DialogService::information(owner, textOf(TextKey::ISo_Down_No) + u'\n' + m_fileError);
    } else if (rv != 0) {
        DialogService::information(owner,
                                   Format(QStringLiteral("%s(ErrorCode = 0x%s)"),
                                          {textOf(TextKey::ISo_Down_No), Format(QStringLiteral("%.8x"), {rv})}),
                                   textOf(TextKey::P_MSGTitle) + u' ');
    } else {
        QThread::msleep(SuccessPause);
        DialogService::information(owner, textOf(TextKey::ISO_Down_Yes));
    }
    tokens.token_logout(index);
    slot->KeyState = KeySlot::Present;
}

int32_t CdromImagePage::WriteCdromImage(int32_t index, const QString& path) {
    PBISO->setValue(0);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_fileError = file.errorString();
        return FileError;
    }
    // A file under 1 KiB still gets a bar that can end full, not a busy one.
    PBISO->setRange(0, int(std::clamp<qint64>(file.size() / 1024, 1, std::numeric_limits<int>::max())));
    QByteArray chunk(ChunkBytes, '\0');
    int32_t firstSector = 0;
    for (;;) {
        chunk.fill('\0');
        const qint64 read = file.read(chunk.data(), ChunkBytes);
        if (read < 0) {
            m_fileError = file.errorString();
            return FileError;
        }
        if (read == 0)
            return 0;
        QThread::msleep(chunkPause);
        // The last sector's bytes past the end of the file stay zero.
        const auto sectors = int32_t((read + SectorBytes - 1) / SectorBytes);
        if (const int32_t rv = m_host.tokenLibrary().token_write_sectors(
                index, firstSector, sectors, reinterpret_cast<const uint8_t*>(chunk.constData()));
            rv != 0)
            return rv;
        firstSector += sectors;
        PBISO->setValue(std::min(PBISO->maximum(), PBISO->value() + 64));
        // The bar moves and the window repaints between chunks; clicks wait until the write is over.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void CdromImagePage::applyTexts() {
    LAdmin_UPIN->setText(labelText(TextKey::Admin_label_UPIN));
    LAdmin_ISOPath->setText(labelText(TextKey::Admin_label_ISOPath));
    AcDownISO->setText(textOf(TextKey::Admin_btn_DownISO));
}
