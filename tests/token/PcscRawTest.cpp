#include "token/TPCSCRaw.h"

#include <QTest>

// The PC/SC binding: what loading gives for a complete library, one lacking an entry point and none at all; calls
// that pass straight through when loaded and reach nothing when not; and the system's pcsc-lite.
class PcscRawTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void load_data() {
        QTest::addColumn<QString>("library");
        QTest::addColumn<int>("result");
        QTest::newRow("complete") << QStringLiteral(FAKE_PCSC_LIBRARY) << TPCSCRaw::Loaded;
        QTest::newRow("without SCardTransmit")
            << QStringLiteral(FAKE_PCSC_INCOMPLETE_LIBRARY) << TPCSCRaw::EntryPointMissing;
        QTest::newRow("missing") << QStringLiteral("/nonexistent/libpcsclite.so.1") << TPCSCRaw::LibraryMissing;
    }

    void load() {
        QFETCH(QString, library);
        QFETCH(int, result);
        TPCSCRaw pcsc(library);
        if (result == TPCSCRaw::EntryPointMissing)
            QTest::ignoreMessage(QtWarningMsg, "PC/SC: " + library.toUtf8() + " has no SCardTransmit (SCardTransmit)");
        QCOMPARE(pcsc.Load(), result);
        const bool loaded = result == TPCSCRaw::Loaded;
        QCOMPARE(pcsc.isLoaded(), loaded);
        SCARDCONTEXT context = 5;
        DWORD length = 0;
        QCOMPARE(pcsc.EstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, context),
                 loaded ? SCARD_S_SUCCESS : SCARD_F_INTERNAL_ERROR);
        QCOMPARE(pcsc.ListReaders(context, nullptr, nullptr, length),
                 loaded ? SCARD_S_SUCCESS : SCARD_F_INTERNAL_ERROR);
        QCOMPARE(pcsc.ReleaseContext(context), loaded ? SCARD_S_SUCCESS : SCARD_F_INTERNAL_ERROR);
        QCOMPARE(context, loaded ? SCARDCONTEXT(0x7654321000) : SCARDCONTEXT(5));
        QCOMPARE(pcsc.Unload(), loaded);
        QCOMPARE(pcsc.Unload(), false);
    }

    void callsPassStraightThrough() {
        TPCSCRaw pcsc(QStringLiteral(FAKE_PCSC_LIBRARY));
        QCOMPARE(pcsc.Load(), TPCSCRaw::Loaded);
        SCARDCONTEXT context = 0;
        const int reserved = 0;
        QCOMPARE(pcsc.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, context), SCARD_E_INVALID_VALUE);
        QCOMPARE(pcsc.EstablishContext(SCARD_SCOPE_SYSTEM, &reserved, nullptr, context), SCARD_E_INVALID_VALUE);
        QCOMPARE(pcsc.EstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, context), SCARD_S_SUCCESS);
        char readers[29] = {};
        DWORD length = sizeof readers - 1;
        QCOMPARE(pcsc.ListReaders(context, nullptr, readers, length), SCARD_E_INSUFFICIENT_BUFFER);
        QCOMPARE(length, DWORD(29));
        QCOMPARE(pcsc.ListReaders(context, nullptr, readers, length), SCARD_S_SUCCESS);
        QCOMPARE(QByteArray(readers, sizeof readers), QByteArray("Fake Reader 0\0Fake Reader 1\0\0", 29));
        QCOMPARE(pcsc.ReleaseContext(context + 1), SCARD_E_INVALID_HANDLE);
        // Unloaded and loaded again, the binding still reaches the library.
        QVERIFY(pcsc.Unload());
        QCOMPARE(pcsc.Load(), TPCSCRaw::Loaded);
        QCOMPARE(pcsc.ReleaseContext(context), SCARD_S_SUCCESS);
    }

    // pcscd need not run here: without it pcsc-lite itself answers that the service is missing.
    void systemPcscLite() {
        TPCSCRaw pcsc;
        QCOMPARE(pcsc.Load(), TPCSCRaw::Loaded);
        SCARDCONTEXT context = 0;
        const LONG established = pcsc.EstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, context);
        QVERIFY2(established == SCARD_S_SUCCESS || established == SCARD_E_NO_SERVICE,
                 qPrintable(QString::number(quint32(established), 16)));
        if (established == SCARD_S_SUCCESS) {
            DWORD length = 0;
            QVERIFY(pcsc.ListReaders(context, nullptr, nullptr, length) != SCARD_F_INTERNAL_ERROR);
            QCOMPARE(pcsc.ReleaseContext(context), SCARD_S_SUCCESS);
        }
        QCOMPARE(pcsc.Unload(), true);
        QCOMPARE(pcsc.Unload(), false);
    }
};

QTEST_GUILESS_MAIN(PcscRawTest)
#include "PcscRawTest.moc"
