#include "platform/Download.h"
#include "common/LocalHttpServer.h"
#include "tokenlib/TestCertificates.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>

#include <openssl/pem.h>

using namespace Qt::StringLiterals;

namespace {

// A server certificate for 127.0.0.1 that no authority signed.
QSslConfiguration selfSignedTls() {
    const testcerts::KeyPair pair = testcerts::certify(testcerts::ecKey(), "127.0.0.1");
    const auto pem = [](auto write) {
        BIO* bio = BIO_new(BIO_s_mem());
        write(bio);
        char* data = nullptr;
        const long size = BIO_get_mem_data(bio, &data);
        const QByteArray text(data, size);
        BIO_free(bio);
        return text;
    };
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(pem([&](BIO* bio) { PEM_write_bio_X509(bio, pair.certificate.get()); })));
    tls.setPrivateKey(QSslKey(
        pem([&](BIO* bio) { PEM_write_bio_PrivateKey(bio, pair.key.get(), nullptr, nullptr, 0, nullptr, nullptr); }),
        QSsl::Ec));
    return tls;
}

} // namespace

// The fetch's codes and its promise that the file appears whole or not at all: an earlier file at the path stays as
// it was whenever a fetch fails.
class DownloadTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fetch_data() {
        QTest::addColumn<bool>("https");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("stop"); // the progress report ends the transfer
        QTest::addColumn<int>("code");  // curl's
        QTest::addColumn<bool>("secure");
        QTest::newRow("fetched") << false << QByteArray("/setup.deb") << false << 0 << false;
        QTest::newRow("not published") << false << QByteArray("/other.deb") << false << 22 << false;
        QTest::newRow("stopped") << false << QByteArray("/setup.deb") << true << 42 << false;
        // Certificates are verified: a server nobody vouches for is not talked to.
        QTest::newRow("self-signed HTTPS") << true << QByteArray("/setup.deb") << false << 60 << false;
    }
    void fetch() {
        QFETCH(bool, https);
        QFETCH(QByteArray, path);
        QFETCH(bool, stop);
        QFETCH(int, code);
        if (https && !QSslSocket::supportsSsl())
            QSKIP("Qt has no TLS backend here");
        LocalHttpServer server(https ? std::optional(selfSignedTls()) : std::nullopt);
        server.publish("/setup.deb", "installer bytes");
        QTemporaryDir folder;
        const QString target = folder.filePath(u"setup.deb"_s);
        QFile earlier(target);
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
        earlier.close();

        const Download::Result result =
            Download::fetch(server.url(QString::fromLatin1(path)), target, [stop](qint64, qint64) { return !stop; });
        QCOMPARE(result.code, code);
        QTEST(result.secure, "secure");
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), code == 0 ? QByteArray("installer bytes") : QByteArray("earlier"));
    }
};

QTEST_GUILESS_MAIN(DownloadTest)
#include "DownloadTest.moc"
