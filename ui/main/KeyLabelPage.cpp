#include "ui/main/KeyLabelPage.h"

#include "app/LanguageTable.h"
#include "token/TokenLibrary.h"
#include "ui/main/DialogService.h"
#include "ui/main/FormControls.h"
#include "ui/main/UserPinChecks.h"
#include "ui/main/WindowState.h"

#include <QAction>
#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

using namespace FormControls;

namespace {

// Labels are kept in 64 bytes of the token record; the token takes fewer than 32 bytes of UTF-8.
constexpr qsizetype LabelBufferBytes = 64;
constexpr qsizetype LongestLabel = 31;

} // namespace

KeyLabelPage::KeyLabelPage(PageHost& host, QWidget* parent)
    : Page(host, parent), Label8(label(this, "Label8")), edtKeyName(edit(this, "edtKeyName", LabelMaxLength)),
      RzButton1(button(this, "RzButton1")), AcSetKeyName(makeAction("AcSetKeyName")) {
    QFormLayout* fields = form();
    fields->addRow(Label8, edtKeyName);
    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(formPanel(this, fields, {RzButton1}));
    layout->addStretch(1);

    bindToAction(RzButton1, AcSetKeyName);
    connect(AcSetKeyName, &QAction::triggered, this, &KeyLabelPage::AcSetKeyNameExecute);
    connect(edtKeyName, &QLineEdit::textChanged, this, &KeyLabelPage::updateActions);
    // Enter writes the label, as Enter finishes the other pages; an empty box offers nothing to write.
    connect(edtKeyName, &QLineEdit::returnPressed, AcSetKeyName, &QAction::trigger);
}

void KeyLabelPage::applyTexts() {
    Label8->setText(labelText(TextKey::KeyName_Form_Lable));
    AcSetKeyName->setText(textOf(TextKey::C_btn_Set));
}

void KeyLabelPage::updateActions() {
    AcSetKeyName->setEnabled(!edtKeyName->text().isEmpty());
}

void KeyLabelPage::Prepare(const QString& label) {
    edtKeyName->setText(label.trimmed());
}

void KeyLabelPage::AcSetKeyNameExecute() {
    const int32_t index = m_host.state().CurrentKey;
    KeySlot* slot = m_host.state().slot(index);
    if (!slot || UserPinChecks::refusedAsLocked(m_host, index))
        return;
    const QString name = edtKeyName->text().trimmed();
    const QByteArray utf8 = name.toUtf8();
    if (utf8.size() > LongestLabel) {
        edtKeyName->setFocus();
        DialogService::information(m_host.dialogOwner(), textOf(TextKey::K_Len_Error));
        return;
    }
    if (const int32_t rv = m_host.tokenLibrary().SetTokenLabel(index, name); rv != 0) {
        DialogService::information(m_host.dialogOwner(), UserPinChecks::failureWithCode(TextKey::K_Set_No, rv));
        return;
    }
    auto& label = slot->info.label;
    std::fill_n(label.begin(), LabelBufferBytes, '\0');
    std::copy(utf8.begin(), utf8.end(), label.begin());
    m_host.RenameTokenNode(name);
    DialogService::information(m_host.dialogOwner(), textOf(TextKey::K_Set_Yes));
}
