#include "platform/UsbDeviceTable.h"

#include <QTest>

using namespace Qt::StringLiterals;

// What the udev side of the device watch makes of a device: its ids from its attributes or from the event, and a
// removal matched to the arrival it ends, since a device that is gone has no attributes left to read.
class UsbDeviceTableTest : public QObject {
    Q_OBJECT

    using Changes = std::vector<UsbDeviceTable::Change>;

private Q_SLOTS:
    void describe_data() {
        QTest::addColumn<QByteArray>("idVendor");
        QTest::addColumn<QByteArray>("idProduct");
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<QByteArray>("product");
        QTest::addColumn<UsbDevice>("device");
        const int unknown = UsbDevice::UnknownId;
        QTest::newRow("attributes") << "1d99"_ba
                                    << "0a1b"_ba
                                    << "3F2A"_ba
                                    << "ffff/ffff/100"_ba << UsbDevice{0x1D99, 0x0A1B, u"3F2A"_s};
        QTest::newRow("removal: the event only") << ""_ba
                                                 << ""_ba
                                                 << ""_ba
                                                 << "1d99/101/100"_ba << UsbDevice{0x1D99, 0x0101, u"1-1.2"_s};
        QTest::newRow("attribute unreadable") << "1d99"_ba
                                              << "+101"_ba
                                              << "\xC3\xA9"_ba
                                              << "1d99/102/0"_ba << UsbDevice{0x1D99, 0x0102, u"\u00E9"_s};
        QTest::newRow("nothing") << ""_ba
                                 << ""_ba
                                 << ""_ba
                                 << ""_ba << UsbDevice{unknown, unknown, u"1-1.2"_s};
        QTest::newRow("event without bcd") << ""_ba
                                           << ""_ba
                                           << ""_ba
                                           << "1d99/101"_ba << UsbDevice{unknown, unknown, u"1-1.2"_s};
        QTest::newRow("event not hexadecimal") << ""_ba
                                               << ""_ba
                                               << ""_ba
                                               << "1d99/1g1/100"_ba << UsbDevice{unknown, unknown, u"1-1.2"_s};
        QTest::newRow("id too long") << "1d99"_ba
                                     << "10101"_ba
                                     << ""_ba
                                     << "1d99/10101/100"_ba << UsbDevice{unknown, unknown, u"1-1.2"_s};
    }

    void describe() {
        QFETCH(QByteArray, idVendor);
        QFETCH(QByteArray, idProduct);
        QFETCH(QByteArray, serial);
        QFETCH(QByteArray, product);
        QFETCH(UsbDevice, device);
        QCOMPARE(UsbDeviceTable::describe(idVendor, idProduct, serial, product, "1-1.2"_ba), device);
    }

    void removalIsTheArrivalItEnds() {
        UsbDeviceTable table;
        const UsbDevice token{0x1D99, 0x0101, u"3F2A"_s};
        const UsbDevice described{UsbDevice::UnknownId, UsbDevice::UnknownId, u"1-1.2"_s};
        table.add("/sys/devices/usb1/1-1/1-1.2"_ba, token);
        QCOMPARE(table.remove("/sys/devices/usb1/1-1/1-1.1"_ba, described), described);
        QCOMPARE(table.remove("/sys/devices/usb1/1-1/1-1.2"_ba, described), token);
        QCOMPARE(table.remove("/sys/devices/usb1/1-1/1-1.2"_ba, described), described); // forgotten
    }

    void enumerationsAreCompared() {
        UsbDeviceTable table;
        const UsbDevice hub{0x1D6B, 0x0002, u"usb1"_s}, token{0x1D99, 0x0101, u"A"_s}, other{0x1D99, 0x0102, u"B"_s};
        QCOMPARE(table.replace({{"usb1"_ba, hub}, {"1-1"_ba, token}}), (Changes{{true, token}, {true, hub}}));
        QCOMPARE(table.replace({{"usb1"_ba, hub}, {"1-1"_ba, token}}), Changes{});
        // One token pulled and another put in its port between two looks, and the first one in a new port.
        QCOMPARE(table.replace({{"usb1"_ba, hub}, {"1-1"_ba, other}, {"1-2"_ba, token}}),
                 (Changes{{false, token}, {true, other}, {true, token}}));
        QCOMPARE(table.replace({{"usb1"_ba, hub}}), (Changes{{false, other}, {false, token}}));
        // What an enumeration found is what a later removal event is matched to.
        table.replace({{"1-3"_ba, token}});
        QCOMPARE(table.remove("1-3"_ba, UsbDevice{}), token);
    }
};

QTEST_GUILESS_MAIN(UsbDeviceTableTest)
#include "UsbDeviceTableTest.moc"
