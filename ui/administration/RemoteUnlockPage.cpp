#include "ui/administration/RemoteUnlockPage.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "platform/TextEncoding.h"
#include "token/SkfLibrary.h"
#include "ui/main/DialogService.h"
#include "ui/main/FormControls.h"
#include "ui/main/WindowState.h"

#include <QAction>
#include <QBoxLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cctype>

using namespace FormControls;

RemoteUnlockPage::RemoteUnlockPage(PageHost& host, QWidget* parent)
    : Page(host, parent), gbRemoteUnlock(new QGroupBox(this)), Label44(label(this, "Label44")),
      edtRequestStr(edit(this, "edtRequestStr")), btnRequest(button(this, "btnRequest")),
      Label45(label(this, "Label45")), edtUnlockCode(new QPlainTextEdit(this)),
      btnRemoteUnLock(button(this, "btnRemoteUnLock")), AcRequest(makeAction("AcRequest")),
      AcRemoteUnLock(makeAction("AcRemoteUnLock")) {
    setObjectName(QStringLiteral("RemoteUnlock"));
    gbRemoteUnlock->setObjectName(QStringLiteral("gbRemoteUnlock"));
    edtRequestStr->setReadOnly(true);
    QPalette grey = edtRequestStr->palette();
    grey.setBrush(QPalette::Base, palette().button());
    edtRequestStr->setPalette(grey);
    edtUnlockCode->setObjectName(QStringLiteral("edtUnlockCode"));
    edtUnlockCode->setTabChangesFocus(true);
    edtUnlockCode->setFixedHeight(edtUnlockCode->fontMetrics().lineSpacing() * 4 + 12);

    auto* grid = new QGridLayout(gbRemoteUnlock);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(10);
    grid->addWidget(Label44, 0, 0, Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(edtRequestStr, 0, 1);
    grid->addWidget(btnRequest, 0, 2);
    grid->addWidget(Label45, 1, 0, Qt::AlignRight | Qt::AlignTop);
    grid->addWidget(edtUnlockCode, 1, 1);
    grid->addWidget(btnRemoteUnLock, 1, 2, Qt::AlignTop);
    grid->setColumnStretch(1, 1);
    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(gbRemoteUnlock);
    layout->addStretch(1);
    tabOrder({btnRequest, edtUnlockCode, btnRemoteUnLock});
    bindToAction(btnRequest, AcRequest);
    bindToAction(btnRemoteUnLock, AcRemoteUnLock);
    connect(AcRequest, &QAction::triggered, this, &RemoteUnlockPage::AcRequestExecute);
    connect(AcRemoteUnLock, &QAction::triggered, this, &RemoteUnlockPage::AcRemoteUnLockExecute);
}

QByteArray RemoteUnlockPage::responseBytes(const QByteArray& text) {
    const auto digit = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    QByteArray bytes(text.size() / 2, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const QByteArray pair = text.mid(2 * i, 2);
        if (digit(pair[0]) && digit(pair[1]))
            bytes[i] = char(pair.toUInt(nullptr, 16));
    }
    return bytes;
}

// Both the request and the response go to the selected token's own application: the first device's, whatever token
// is selected, would with two tokens plugged take the request from one and the response to the other.
bool RemoteUnlockPage::openSelectedTokensApplication() {
    SkfLibrary& skf = m_host.skfLibrary();
    skf.SkfQuickOpen(); // the device count tells what matters
    // The selected token without an SKF device of its own counts as none: nothing goes to another token.
    const KeySlot* slot = m_host.state().currentSlot();
    if (skf.Devices().count == 0 || (slot && !skf.SelectSkfApplicationAskingSerials(slot->info.serialBytes()))) {
        DialogService::information(m_host.dialogOwner(), textOf(TextKey::K_Find_Error));
        return false;
    }
    return true;
}

void RemoteUnlockPage::AcRequestExecute() {
    if (!openSelectedTokensApplication())
        return;
    SkfLibrary& skf = m_host.skfLibrary();
    QByteArray request;
    if (const SKF_ULONG rv = skf.SKF_GenRemoteUnblockRequest(skf.CurrentApplication(), request); rv != 0) {
        DialogService::information(m_host.dialogOwner(), Format(textOf(TextKey::P_GenError), {qlonglong(rv)}));
        return;
    }
    edtRequestStr->setText(QString::fromLatin1(request.left(SKF_REMOTE_REQUEST_BYTES).toHex().toUpper()));
}

void RemoteUnlockPage::AcRemoteUnLockExecute() {
    if (KeySlot* slot = m_host.state().currentSlot())
        slot->KeyState = KeySlot::Present;
    const QByteArray text = TextEncoding::toLocal8(edtUnlockCode->toPlainText());
    // Refused before the library sees it: the token's response area holds 65 bytes.
    if (text.size() > 2 * SkfLibrary::RemoteResponseArea) {
        DialogService::information(m_host.dialogOwner(), textOf(TextKey::K_Len_Error));
        return;
    }
    const QByteArray response = responseBytes(text);
    if (!openSelectedTokensApplication())
        return;
    SkfLibrary& skf = m_host.skfLibrary();
    const SKF_ULONG rv = skf.SKF_RemoteUnblockPIN(skf.CurrentApplication(), response);
    DialogService::information(m_host.dialogOwner(), rv == 0 ? textOf(TextKey::P_UnlockOK)
                                                             : Format(textOf(TextKey::P_UnlockError), {qlonglong(rv)}));
}

void RemoteUnlockPage::applyTexts() {
    gbRemoteUnlock->setTitle(textOf(TextKey::P_Remoteunlock));
    Label44->setText(labelText(TextKey::P_Request));
    Label45->setText(labelText(TextKey::P_Resporse));
    AcRequest->setText(textOf(TextKey::P_Gen));
    AcRemoteUnLock->setText(textOf(TextKey::P_Unlock));
}
