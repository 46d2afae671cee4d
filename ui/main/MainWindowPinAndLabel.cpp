// The user PIN change, which proves the current PIN itself, and the change of the token's label.

#include "ui/main/MainWindow.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "platform/TextEncoding.h"
#include "ui/main/DialogService.h"
#include "ui/main/KeyLabelPage.h"
#include "ui/main/UserPinPage.h"

#include <QLineEdit>
#include <QTreeWidget>

#include <algorithm>
#include <cstring>

namespace {

// Labels are kept in 64 bytes of the token record; the token takes fewer than 32 bytes of UTF-8.
constexpr qsizetype LabelBufferBytes = 64;
constexpr qsizetype LongestLabel = 31;

} // namespace

void MainWindow::updatePinAndLabelActions() {
    const int32_t shortest = state.currentSlot().info.minPinLength;
    const QList<QLineEdit*> edits = userPinPage->edits();
    actions.AcSetUserPIN->setEnabled(std::all_of(edits.begin(), edits.end(), [shortest](const QLineEdit* edit) {
        return edit->text().size() >= shortest;
    }));
    actions.AcSetKeyName->setEnabled(!keyLabelPage->edtKeyName->text().isEmpty());
}

void MainWindow::AcSetUserPINExecute() {
    const int32_t index = state.CurrentKey;
    KeySlot& slot = state.currentSlot();
    if (refusedUserPin(index))
        return;
    const QString current = userPinPage->edtOldUPin->text();
    const QString newPin = userPinPage->edtNewUPin1->text();
    if (newPin != userPinPage->edtNewUPin2->text()) {
        DialogService::information(this, textOf(TextKey::S_PIN_equal));
        return;
    }
    // The token counts the PIN's bytes, as the library sends them.
    const qsizetype bytes = TextEncoding::toLocal8(newPin).size();
    if (bytes < slot.info.minPinLength || bytes > slot.info.maxPinLength) {
        DialogService::information(this, Format(QStringLiteral("%s(%d--%d)"), {textOf(TextKey::UPIN_E2),
                                                                               slot.info.minPinLength,
                                                                               slot.info.maxPinLength}));
        return;
    }
    const auto showWrongCurrentPin = [this](int32_t remaining) {
        DialogService::information(this, remaining != 0 ? Format(textOf(TextKey::K_OldCheck), {remaining})
                                                        : textOf(TextKey::K_Dead));
    };

    m_tokenLibrary.token_logout(index);
    slot.KeyState = KeySlot::Present;
    int32_t remaining = 0;
    if (m_tokenLibrary.token_login(index, current, remaining) != 0) {
        showWrongCurrentPin(remaining);
        return;
    }
    m_tokenLibrary.token_logout(index);
    const int32_t rv = m_tokenLibrary.token_change_upin(index, current, newPin);
    if (rv == 0) {
        DialogService::information(this, textOf(TextKey::K_Set_Yes));
        for (QLineEdit* edit : userPinPage->edits())
            edit->clear();
        return;
    }
    // Whether the current PIN still opens the token tells a refused change from a PIN gone wrong meanwhile.
    if (m_tokenLibrary.token_login(index, current, remaining) == 0)
        DialogService::information(this, textOf(TextKey::K_Set_No) + textOf(TextKey::K_ErrorCODE_Str) +
                                             QStringLiteral(" = 0x") + Format(QStringLiteral("%.8x"), {rv}));
    else
        showWrongCurrentPin(remaining);
}

void MainWindow::AcSetKeyNameExecute() {
    const int32_t index = state.CurrentKey;
    if (refusedAsLocked(index))
        return;
    const QString name = keyLabelPage->edtKeyName->text().trimmed();
    const QByteArray utf8 = name.toUtf8();
    if (utf8.size() > LongestLabel) {
        keyLabelPage->edtKeyName->setFocus();
        DialogService::information(this, textOf(TextKey::K_Len_Error));
        return;
    }
    if (m_tokenLibrary.SetTokenLabel(index, name) != 0) {
        DialogService::information(this, textOf(TextKey::K_Set_No));
        return;
    }
    auto& label = state.currentSlot().info.label;
    std::fill_n(label.begin(), LabelBufferBytes, '\0');
    std::copy(utf8.begin(), utf8.end(), label.begin());
    // The token's node is the selected node's ancestor just below root 0.
    for (QTreeWidgetItem* node = tvUSBKey->currentItem(); node && node->parent(); node = node->parent()) {
        if (!node->parent()->parent()) {
            node->setText(0, name);
            break;
        }
    }
    DialogService::information(this, textOf(TextKey::K_Set_Yes));
}
