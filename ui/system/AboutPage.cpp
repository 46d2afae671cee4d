#include "ui/system/AboutPage.h"

#include "app/LanguageTable.h"
#include "ui/main/FormControls.h"

#include <QAction>
#include <QBoxLayout>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QLabel>

using namespace FormControls;

namespace {

// A label that looks and acts like a link; the page opens it when clicked.
void styleAsLink(QLabel* label) {
    label->setCursor(Qt::PointingHandCursor);
    label->setTextFormat(Qt::PlainText);
    label->setFocusPolicy(Qt::StrongFocus);
    label->setStyleSheet(QStringLiteral("color: #0000ff; text-decoration: underline;"));
}

} // namespace

AboutPage::AboutPage(PageHost& host, QWidget* parent)
    : Page(host, parent), label_language(label(this, "label_language")), cbLanguageID(new QComboBox(this)),
      Label17(label(this, "Label17")), Label20(label(this, "Label20")), Label18(label(this, "Label18")),
      Label19(label(this, "Label19")), lineSeparator(new QFrame(this)), Label15(label(this, "Label15")) {
    cbLanguageID->setObjectName(QStringLiteral("cbLanguageID"));
    cbLanguageID->addItems({QStringLiteral("简体中文"), QStringLiteral("English")});
    styleAsLink(Label20);
    styleAsLink(Label19);
    lineSeparator->setObjectName(QStringLiteral("lineSeparator"));
    lineSeparator->setFrameShape(QFrame::HLine);
    lineSeparator->setFrameShadow(QFrame::Sunken);
    Label15->setAlignment(Qt::AlignCenter);
    Label15->setWordWrap(true);

    QFormLayout* fields = form();
    fields->addRow(label_language, cbLanguageID);
    fields->addRow(Label17, Label20);
    fields->addRow(Label18, Label19);
    QBoxLayout* layout = pageLayout(this);
    layout->addLayout(fields);
    layout->addWidget(lineSeparator);
    layout->addWidget(Label15);
    layout->addStretch(1);
    // The language is chosen in the user's settings tool, not here.
    label_language->setVisible(false);
    cbLanguageID->setVisible(false);
    connect(cbLanguageID, &QComboBox::activated, this, [this](int index) { m_host.SwitchLanguage(index); });
}

void AboutPage::applyTexts() {
    Label20->setText(textOf(TextKey::About_Form_Label_URL_Info));
    Label19->setText(textOf(TextKey::About_Form_Label_Email_Info));
    Label17->setText(textOf(TextKey::About_Form_Label_URL));
    Label18->setText(textOf(TextKey::About_Form_Label_Email));
    Label15->setText(textOf(TextKey::About_Form_label_CopyRight));
    label_language->setText(textOf(TextKey::Config_Form_Language));
}
