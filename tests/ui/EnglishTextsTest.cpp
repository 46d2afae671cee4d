#include "app/LanguageTable.h"
#include "app/QtTranslations.h"
#include "common/WindowTestCase.h"
#include "ui/biometric/BiometricPicturesPage.h"
#include "ui/biometric/TFingerInputForm.h"
#include "ui/biometric/TFingerStudyForm.h"
#include "ui/biometric/TFingerTestForm.h"
#include "ui/biometric/TFingerVerifyForm.h"
#include "ui/main/DialogService.h"
#include "ui/main/NavigationTree.h"
#include "ui/main/TIMForm.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

// The window in English, every page of the tree visited with the admin tools shown, on a plain, a fingerprint and a
// finger-vein token, before and after a login that starts with a wrong PIN, and the dialogs the pages open: no control
// and no message shows a Chinese character. Only the language selector names Chinese in Chinese.
class EnglishTextsTest : public WindowTestCase {
    Q_OBJECT

    // Every text of the window's controls and actions, each as "name=text".
    static QStringList texts(const QWidget& window) {
        QStringList found;
        const auto add = [&found](const QObject* where, const QString& text) {
            if (!text.isEmpty())
                found << where->objectName() + u'=' + text;
        };
        const auto addTree = [&add](const QTreeWidget* tree) {
            for (int column = 0; column < tree->columnCount(); ++column)
                add(tree, tree->headerItem()->text(column));
            for (QTreeWidgetItemIterator item(const_cast<QTreeWidget*>(tree)); *item; ++item)
                for (int column = 0; column < tree->columnCount(); ++column)
                    add(tree, (*item)->text(column));
        };
        add(&window, window.windowTitle());
        for (const QWidget* widget : window.findChildren<QWidget*>()) {
            add(widget, widget->toolTip());
            if (const auto* label = qobject_cast<const QLabel*>(widget))
                add(widget, label->text());
            else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
                add(widget, button->text());
            else if (const auto* group = qobject_cast<const QGroupBox*>(widget))
                add(widget, group->title());
            else if (const auto* line = qobject_cast<const QLineEdit*>(widget))
                add(widget, line->text() + line->placeholderText());
            else if (const auto* text = qobject_cast<const QTextEdit*>(widget))
                add(widget, text->toPlainText());
            else if (const auto* plain = qobject_cast<const QPlainTextEdit*>(widget))
                add(widget, plain->toPlainText());
            else if (const auto* tabs = qobject_cast<const QTabWidget*>(widget))
                for (int i = 0; i < tabs->count(); ++i)
                    add(widget, tabs->tabText(i));
            else if (const auto* tree = qobject_cast<const QTreeWidget*>(widget))
                addTree(tree);
            else if (const auto* combo = qobject_cast<const QComboBox*>(widget);
                     combo && combo->objectName() != "cbLanguageID"_L1)
                for (int i = 0; i < combo->count(); ++i)
                    add(widget, combo->itemText(i));
        }
        for (const QAction* action : window.findChildren<QAction*>())
            add(action, action->text());
        return found;
    }

private Q_SLOTS:
    // The first token's sensor decides the biometric wording. English loaded at the start, with the finger-vein
    // wording; and switched to from Chinese on the about page, with the fingerprint wording the switch brings.
    void noPageShowsChinese_data() {
        QTest::addColumn<QString>("firstSensor");
        QTest::addColumn<bool>("switchedAtRunTime");
        QTest::newRow("loaded at the start") << u"finger-vein"_s << false;
        QTest::newRow("switched at run time") << u"fingerprint"_s << true;
    }
    void noPageShowsChinese() {
        QFETCH(QString, firstSensor);
        QFETCH(bool, switchedAtRunTime);
        m_program->writeProfile("PID=0x0101\nAdminTools=1\n");
        plugged("VXENGLISH0000001", {"--label", "First", "--sensor", firstSensor});
        plugged("VXENGLISH0000002", {"--label", "Finger", "--sensor", "fingerprint"});
        plugged("VXENGLISH0000003", {"--label", "Plain"});
        if (!switchedAtRunTime)
            LanguageTable::instance().LoadLanguageFile(m_program->filePath(u"Languages/EN_1033.lng"_s));
        openWindow();
        if (switchedAtRunTime)
            m_window->SwitchLanguage(1);
        QTreeWidget* tree = navigation();
        QStringList visited;
        QSet<QString> chinese;
        const QRegularExpression han(u"\\p{Han}"_s);
        const auto walk = [&] {
            tree->expandAll();
            for (QTreeWidgetItemIterator item(tree); *item; ++item) {
                tree->setCurrentItem(*item);
                tree->expandAll();
                QTest::qWait(50);
                visited << (*item)->text(0);
                for (const QString& text : texts(*m_window))
                    if (text.contains(han))
                        chinese.insert((*item)->text(0) + u": "_s + text);
            }
        };
        walk();
        // Logged in, after a wrong PIN and its message: the pages again, as a logged-in user sees them.
        tree->setCurrentItem(tree->topLevelItem(0)->child(0)->child(2));
        for (const char* pin : {"00000000", "12345678"}) {
            control<QLineEdit>("edtUPIN")->setText(QString::fromLatin1(pin));
            DialogService::setNextAnswer(DialogService::Answer::No);
            action("AcLogin")->trigger();
        }
        walk();
        for (const QString& text : DialogService::shownTexts())
            if (text.contains(han))
                chinese.insert(u"message: "_s + text);
        // The dialogs the pages open, as they stand before they start their work.
        PageHost& host = *m_window;
        const FingerPictures pictures;
        const std::vector<std::unique_ptr<QWidget>> dialogs = [&] {
            std::vector<std::unique_ptr<QWidget>> made;
            made.emplace_back(new TIMForm(host.tokenLibrary(), m_window.get()));
            made.emplace_back(new TFingerInputForm(host.skfLibrary(), pictures, m_window.get()));
            made.emplace_back(new TFingerStudyForm(host.skfLibrary(), pictures, m_window.get()));
            made.emplace_back(new TFingerTestForm(host.skfLibrary(), QPixmap(), QIcon(), m_window.get()));
            made.emplace_back(new TFingerVerifyForm(host.tokenLibrary(), host.skfLibrary(), pictures, m_window.get()));
            return made;
        }();
        for (const auto& dialog : dialogs)
            for (const QString& text : texts(*dialog))
                if (text.contains(han))
                    chinese.insert(QString::fromLatin1(dialog->metaObject()->className()) + u": "_s + text);
        QVERIFY2(visited.size() > 40, qPrintable(visited.join(u", "_s)));
        QVERIFY2(DialogService::shownTexts().size() >= 1, "the wrong PIN was told");
        QVERIFY2(chinese.isEmpty(), qPrintable(QStringList(chinese.begin(), chinese.end()).join(u'\n')));
    }

    // Qt's own dialogs speak the program's language: the file dialog and the information box's standard button.
    void qtDialogsSpeakTheProgramLanguage_data() {
        QTest::addColumn<int>("languageId");
        QTest::addColumn<QString>("cancel");
        QTest::addColumn<QString>("ok");
        QTest::newRow("Chinese") << 2052 << u"取消"_s << u"确定"_s;
        QTest::newRow("English") << 1033 << u"Cancel"_s << u"OK"_s;
    }
    void qtDialogsSpeakTheProgramLanguage() {
        QFETCH(int, languageId);
        QFETCH(QString, cancel);
        QFETCH(QString, ok);
        QCOMPARE(QtTranslations::follow(languageId), languageId == 2052);
        QFileDialog files;
        files.setOption(QFileDialog::DontUseNativeDialog);
        QCOMPARE(files.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text(), cancel);
        QMessageBox box(QMessageBox::Information, QString(), QString(), QMessageBox::Ok);
        QCOMPARE(box.button(QMessageBox::Ok)->text(), ok);
    }
};

QTEST_MAIN(EnglishTextsTest)
#include "EnglishTextsTest.moc"
