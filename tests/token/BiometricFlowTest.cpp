#include "common/TestProgram.h"
#include "token/SkfLibrary.h"
#include "token/TokenLibrary.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The program's two bindings together on a virtual fingerprint token, as the biometric pages will use them: the
// SKF discovery finds the sensor, a finger is enrolled from queued samples, and the token library logs in by it.
class BiometricFlowTest : public QObject {
    Q_OBJECT

    static constexpr char Serial[] = "VXFLOW0000000001";

    std::unique_ptr<TestProgram> m_program;
    std::unique_ptr<TokenLibrary> m_tokens;
    std::unique_ptr<SkfLibrary> m_skf;

    static void finger(const QStringList& event) {
        TestProgram::vtoken(QStringList{u"finger"_s, QLatin1String(Serial)} + event);
    }

    // Finger n of the holder of pinType, after the holder's PIN, enrolled from one sample; the application.
    HAPPLICATION enrolledInOneSample(SKF_ULONG pinType, const QString& pin, SKF_ULONG n) {
        const HAPPLICATION application = m_skf->CurrentApplication();
        SKF_ULONG retries = 0, progress = 0;
        if (m_skf->SKF_VerifyPIN(application, pinType, pin, retries) != 0)
            qFatal("the PIN was refused");
        m_skf->SKF_SetFingerMode(0, 1);
        m_skf->SKF_EnrollFingerInit(application, pinType, n);
        finger({u"present"_s, QString::number(n)});
        if (m_skf->SKF_EnrollFinger(application, pinType, n, progress) != 0)
            qFatal("finger %lu was not enrolled", static_cast<unsigned long>(n));
        return application;
    }

private Q_SLOTS:
    void init() {
        m_program = std::make_unique<TestProgram>();
        TestProgram::vtoken({"create", "--serial", Serial, "--sensor", "fingerprint", "--plugged"});
        m_tokens = std::make_unique<TokenLibrary>(m_program->directory());
        QCOMPARE(m_tokens->OpenTokenLibrary(QStringLiteral(VTOKEN_MODULE), {}, {}, {}), 0);
        int32_t count = 0;
        QCOMPARE(m_tokens->FindAndConnectTokens(count), 0);
        m_skf = std::make_unique<SkfLibrary>();
        m_skf->Load(QStringLiteral(VTOKEN_SKF_LIBRARY));
        QCOMPARE(m_skf->SkfDiscover(), SKF_ULONG(0));
    }

    void cleanup() {
        m_tokens->uninit_pkcs11();
        m_skf.reset();
        m_tokens.reset();
        m_program.reset();
    }

    void enrolledFingerLogsIn() {
        QCOMPARE(m_skf->Devices().names[0], QByteArray(Serial));
        SKF_ULONG type = 0;
        QCOMPARE(m_skf->ZKF_GetDeviceCaps(0, type), SKF_ULONG(0));
        QCOMPARE(type, SKF_ULONG(ZKF_DEVICE_FINGERPRINT));

        HAPPLICATION application = m_skf->CurrentApplication();
        SKF_ULONG retries = 0, progress = 0;
        QCOMPARE(m_skf->SKF_EnrollFingerInit(application, SKF_PIN_USER, 3), SKF_ULONG(SAR_USER_NOT_LOGGED_IN));
        QCOMPARE(m_skf->SKF_VerifyPIN(application, SKF_PIN_USER, u"12345678"_s, retries), SKF_ULONG(0));
        m_skf->SKF_SetFingerMode(0, 3);
        QCOMPARE(m_skf->SKF_EnrollFingerInit(application, SKF_PIN_USER, 3), SKF_ULONG(0));
        QCOMPARE(m_skf->SKF_EnrollFinger(application, SKF_PIN_USER, 3, progress), SKF_ULONG(SAR_FINGER_CONTINUE));
        QCOMPARE(progress, SKF_ULONG(0)); // nothing on the sensor yet
        for (int sample = 1; sample <= 3; ++sample) {
            finger({u"present"_s, u"3"_s});
            const SKF_ULONG rv = m_skf->SKF_EnrollFinger(application, SKF_PIN_USER, 3, progress);
            QCOMPARE(rv, SKF_ULONG(sample < 3 ? SAR_FINGER_CONTINUE : 0));
            QCOMPARE(progress, SKF_ULONG(sample));
        }
        QCOMPARE(m_skf->GetSkfFingerInfo(application, SKF_PIN_USER, m_skf->FingerInfo()), SKF_ULONG(0));
        QCOMPARE(m_skf->FingerInfo().enrolledCount, 1u);
        QCOMPARE(m_skf->FingerInfo().list[2], uint8_t(1));

        finger({u"present"_s, u"3"_s});
        int32_t remaining = -1;
        QCOMPARE(m_tokens->token_login(0, QString(), remaining), 0);
        QCOMPARE(m_tokens->token_logout(0), 0);
    }

    // A login by finger proves the user to the token for the SKF side too, as the one security state of a card
    // would, and the logout takes that back.
    void fingerLoginProvesTheHolderToTheSkfSide() {
        const HAPPLICATION application = enrolledInOneSample(SKF_PIN_USER, u"12345678"_s, 3);
        SKF_ULONG retries = 0;
        // A wrong PIN takes the proof back.
        QCOMPARE(m_skf->SKF_VerifyPIN(application, SKF_PIN_USER, u"00000000"_s, retries), SKF_ULONG(SAR_PIN_INCORRECT));
        QCOMPARE(m_skf->SKF_DeleteFinger(application, SKF_PIN_USER, 3), SKF_ULONG(SAR_USER_NOT_LOGGED_IN));
        // Logged in by PIN already, the login by finger still looks at the sensor.
        int32_t remaining = -1;
        QCOMPARE(m_tokens->token_login(0, u"12345678"_s, remaining), 0);
        finger({u"present"_s, u"3"_s});
        QCOMPARE(m_tokens->token_login(0, QString(), remaining), 0);
        QVERIFY(TestProgram::vtoken({u"show"_s, QLatin1String(Serial)}).contains("sensor events queued: 0"));
        QCOMPARE(m_skf->SKF_DeleteFinger(application, SKF_PIN_ADMIN, 3), SKF_ULONG(SAR_USER_NOT_LOGGED_IN));
        QCOMPARE(m_skf->SKF_DeleteFinger(application, SKF_PIN_USER, 3), SKF_ULONG(0));
        QCOMPARE(m_tokens->token_logout(0), 0);
        QCOMPARE(m_skf->SKF_DeleteFinger(application, SKF_PIN_USER, 3), SKF_ULONG(SAR_USER_NOT_LOGGED_IN));
    }

    void fingerThatCannotBeTakenHasTheSkfCode() {
        enrolledInOneSample(SKF_PIN_ADMIN, u"87654321"_s, 7);

        int32_t remaining = -1;
        finger({u"fail"_s});
        QCOMPARE(m_tokens->token_login_so(0, QString(), remaining), int32_t(ZV_ERR_FINGER_CAPTURE_FAILED));
        finger({u"present"_s, u"7"_s});
        QCOMPARE(m_tokens->token_login_so(0, QString(), remaining), 0);
    }
};

QTEST_GUILESS_MAIN(BiometricFlowTest)
#include "BiometricFlowTest.moc"
