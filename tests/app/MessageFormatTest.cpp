#include "app/MessageFormat.h"

#include <QTest>

// The message patterns of the language files, filled as their authors expect.
class MessageFormatTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void patterns_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("expected");
        QTest::newRow("decimal") << u"您还有%d次机会"_qs << QVariantList{3} << u"您还有3次机会"_qs;
        QTest::newRow("negative decimal") << u"错误码 = %d"_qs << QVariantList{-2147483647 - 1}
                                          << u"错误码 = -2147483648"_qs;
        QTest::newRow("two-digit minor") << u"%d.%.2d"_qs << QVariantList{1, 2} << u"1.02"_qs;
        QTest::newRow("minor of three digits") << u"%d.%.2d"_qs << QVariantList{1, 255} << u"1.255"_qs;
        QTest::newRow("negative padded") << u"%.2d"_qs << QVariantList{-5} << u"-05"_qs;
        QTest::newRow("code in hexadecimal") << u"操作失败(0x%.8x)"_qs << QVariantList{0x0A00002D}
                                             << u"操作失败(0x0A00002D)"_qs;
        QTest::newRow("negative code in hexadecimal") << u"0x%.8x"_qs << QVariantList{-2146435071}
                                                      << u"0x80100001"_qs;
        QTest::newRow("megabytes") << u"%.2f MB"_qs << QVariantList{1001.0 / 1024} << u"0.98 MB"_qs;
        QTest::newRow("text and range") << u"%s(%d--%d)"_qs << QVariantList{u"口令长度"_qs, 4, 16}
                                        << u"口令长度(4--16)"_qs;
        QTest::newRow("width") << u"[%5d][%-5s]"_qs << QVariantList{42, u"ab"_qs} << u"[   42][ab   ]"_qs;
        QTest::newRow("cut text") << u"%.3s"_qs << QVariantList{u"abcdef"_qs} << u"abc"_qs;
        QTest::newRow("percent") << u"100%% %d"_qs << QVariantList{7} << u"100% 7"_qs;
        QTest::newRow("missing argument stays") << u"%d of %d"_qs << QVariantList{1} << u"1 of %d"_qs;
        QTest::newRow("wrong argument stays") << u"%d"_qs << QVariantList{u"x"_qs} << u"%d"_qs;
        QTest::newRow("unknown type stays") << u"%q %d"_qs << QVariantList{5} << u"%q 5"_qs;
        QTest::newRow("trailing percent") << u"50%"_qs << QVariantList{} << u"50%"_qs;
    }

    void patterns() {
        QFETCH(QString, pattern);
        QFETCH(QVariantList, arguments);
        QTEST(Format(pattern, arguments), "expected");
    }
};

QTEST_GUILESS_MAIN(MessageFormatTest)
#include "MessageFormatTest.moc"
