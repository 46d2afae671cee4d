#include "../token/FakeSkf.h"
#include "ui/biometric/ResponsiveWait.h"
#include "ui/biometric/TFingerInputForm.h"

#include "token/SkfLibrary.h"

#include <QLabel>
#include <QLibrary>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

using Answers = std::vector<std::pair<SKF_ULONG, SKF_ULONG>>; // code and progress of each SKF_EnrollFinger
Q_DECLARE_METATYPE(Answers)

// The enrolment dialog on a scripted SKF library, for the progress values and codes that a real sensor gives but the
// virtual one cannot script: repeats, jumps, and a start refused.
class EnrolmentDialogTest : public QObject {
    Q_OBJECT

    SkfLibrary m_skf;
    FakeSkfState* m_fake = nullptr;

private Q_SLOTS:
    void initTestCase() {
        m_skf.Load(QStringLiteral(FAKE_SKF_LIBRARY));
        QLibrary library(QStringLiteral(FAKE_SKF_LIBRARY));
        m_fake = reinterpret_cast<decltype(&FakeSkf_State)>(library.resolve("FakeSkf_State"))();
    }

    void enrolment_data() {
        QTest::addColumn<SKF_ULONG>("startResult");
        QTest::addColumn<Answers>("answers");
        QTest::addColumn<QList<int>>("barAtEachWait");
        QTest::addColumn<SKF_ULONG>("result");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("starts");
        const SKF_ULONG more = SAR_FINGER_CONTINUE;
        QTest::newRow("progress 1, 1, 2, 3") << SKF_ULONG(0) << Answers{{more, 1}, {more, 1}, {more, 2}, {0, 3}}
                                             << QList<int>{1, 1, 2, 3} << SKF_ULONG(0) << u"录入指纹成功"_s << 1;
        QTest::newRow("a jump from 0 to 3 is one step")
            << SKF_ULONG(0) << Answers{{more, 0}, {more, 3}, {0, 3}} << QList<int>{0, 1, 3} << SKF_ULONG(0)
            << u"录入指纹成功"_s << 1;
        QTest::newRow("Retry after a capture failure starts over")
            << SKF_ULONG(0) << Answers{{more, 1}, {SAR_FINGER_CAPTURE_FAILED, 1}, {more, 1}, {more, 2}, {0, 3}}
            << QList<int>{1, 3, 1, 2, 3} << SKF_ULONG(0) << u"录入指纹成功"_s << 2;
        QTest::newRow("finger enrolled already")
            << SKF_ULONG(0) << Answers{{more, 1}, {SAR_FINGER_EXIST, 1}} << QList<int>{1, 3}
            << SKF_ULONG(SAR_FINGER_EXIST) << u"指纹已存在，请更换手指录入"_s << 1;
        QTest::newRow("start refused") << SKF_ULONG(SAR_USER_NOT_LOGGED_IN) << Answers{} << QList<int>{}
                                       << SKF_ULONG(SAR_USER_NOT_LOGGED_IN) << u"未登录，请登录后操作"_s << 1;
    }
    void enrolment() {
        QFETCH(SKF_ULONG, startResult);
        QFETCH(Answers, answers);
        FakeSkfState& fake = *m_fake;
        fake.calls.clear();
        fake.enrolInitResult = startResult;
        fake.enrolment = answers;

        TFingerInputForm dialog(m_skf, FingerPictures(), nullptr);
        dialog.setEnrolment(u"指纹录入"_s, 4, reinterpret_cast<HAPPLICATION>(101), SKF_PIN_USER, 3);
        for (QTimer* timer : dialog.findChildren<QTimer*>())
            timer->setInterval(0);
        auto* bar = dialog.findChild<QProgressBar*>(u"PB"_s);
        auto* close = dialog.findChild<QPushButton*>(u"btnCancel"_s);
        auto* retry = dialog.findChild<QPushButton*>(u"btnRun"_s);
        QList<int> barAtEachWait;
        ResponsiveWait::setForTests([&](int) { barAtEachWait.append(bar->value()); });
        // The countdown's captions, and Retry pressed whenever it is offered.
        QStringList captions;
        connect(dialog.findChild<QTimer*>(u"TClose"_s), &QTimer::timeout, this,
                [&] { captions.append(close->text()); });
        QTimer retryWhenOffered;
        connect(&retryWhenOffered, &QTimer::timeout, this, [&] {
            if (retry->isEnabled())
                retry->click();
        });
        retryWhenOffered.start(5);
        dialog.exec();
        ResponsiveWait::setForTests({});

        QTEST(barAtEachWait, "barAtEachWait");
        QTEST(dialog.result(), "result");
        QTEST(dialog.findChild<QLabel*>(u"LMsg"_s)->text(), "status");
        QFETCH(int, starts);
        QStringList calls;
        for (int i = 0; i < starts; ++i)
            calls << u"SKF_SetFingerMode 0 3"_s << u"SKF_EnrollFingerInit 101 1 4"_s;
        QStringList made;
        for (const std::string& call : fake.calls)
            made << QString::fromStdString(call);
        QCOMPARE(made, calls);
        // A success closes at once; anything else counts down from 5 and closes at the sixth tick.
        const QStringList countdown{u"关闭(5)"_s, u"关闭(4)"_s, u"关闭(3)"_s, u"关闭(2)"_s, u"关闭(1)"_s, u"关闭(1)"_s};
        QCOMPARE(captions, dialog.result() == 0 ? QStringList() : countdown);
    }

    // Esc is the Close button: it does nothing while Close is disabled (the first second, the polling) and closes
    // with Close's result once Close is offered.
    void escapeIsCloseWhileCloseIsEnabled() {
        m_fake->calls.clear();
        m_fake->enrolInitResult = SAR_APPLICATION_NOT_EXISTS;
        TFingerInputForm dialog(m_skf, FingerPictures(), nullptr);
        dialog.setEnrolment(u"指纹录入"_s, 4, reinterpret_cast<HAPPLICATION>(101), SKF_PIN_USER, 3);
        dialog.open();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QVERIFY(m_fake->calls.empty()); // not started yet
        dialog.findChild<QTimer*>(u"Trun"_s)->setInterval(0);
        QTRY_VERIFY(dialog.findChild<QPushButton*>(u"btnCancel"_s)->isEnabled());
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), SKF_ULONG(SAR_APPLICATION_NOT_EXISTS));
    }
};

QTEST_MAIN(EnrolmentDialogTest)
#include "EnrolmentDialogTest.moc"
