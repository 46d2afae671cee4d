#include "ui/system/AboutPage.h"

#include "app/LanguageCatalogue.h"
#include "app/LanguageTable.h"
#include "ui/main/DesktopOpener.h"
#include "ui/main/FormControls.h"

#include <QAction>
#include <QBoxLayout>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

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
    // Hidden until the profile offers the administrator's tools.
    offerLanguageChoice(false);
    connect(cbLanguageID, &QComboBox::activated, this, [this](int index) { m_host.SwitchLanguage(index); });
    Label20->installEventFilter(this);
    Label19->installEventFilter(this);
}

void AboutPage::offerLanguageChoice(bool offered) {
    label_language->setVisible(offered);
    cbLanguageID->setVisible(offered);
}

bool AboutPage::eventFilter(QObject* watched, QEvent* event) {
    auto* link = qobject_cast<QLabel*>(watched);
    const bool clicked =
        event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    const bool keyed =
        event->type() == QEvent::KeyPress &&
        QList<int>{Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}.contains(static_cast<QKeyEvent*>(event)->key());
    if (link && (clicked || keyed)) {
        openLink(link);
        return true;
    }
    return Page::eventFilter(watched, event);
}

// The links open what the labels say, so a language file that changes an address changes what opens.
void AboutPage::openLink(const QLabel* link) {
    const QString text = link->text();
    if (link == Label19) {
        DesktopOpener::open(QStringLiteral("mailto:") + text);
        return;
    }
    if (!DesktopOpener::open(text))
        DesktopOpener::openInBrowser(text);
}

// The selector shows the language whose file the texts come from.
void AboutPage::showEvent(QShowEvent* event) {
    Page::showEvent(event);
    const QString directory = m_host.programDirectory() + QLatin1String(LanguagesDirectoryName) + u'/';
    TLanguageInfo catalogue;
    ReadLanguageCatalogue(directory + QStringLiteral("LanguageInfo.ini"), catalogue);
    for (int i = 0; i < catalogue.Count() && i < cbLanguageID->count(); ++i) {
        const QString file = languageFilePath(m_host.programDirectory(), catalogue.entries[i].LanguageFile);
        if (!file.isEmpty() && QFileInfo(file).canonicalFilePath() == LanguageTable::instance().loadedFile())
            cbLanguageID->setCurrentIndex(i);
    }
}

void AboutPage::applyTexts() {
    Label20->setText(textOf(TextKey::About_Form_Label_URL_Info));
    Label19->setText(textOf(TextKey::About_Form_Label_Email_Info));
    Label17->setText(textOf(TextKey::About_Form_Label_URL));
    Label18->setText(textOf(TextKey::About_Form_Label_Email));
    Label15->setText(textOf(TextKey::About_Form_label_CopyRight));
    label_language->setText(textOf(TextKey::Config_Form_Language));
}
