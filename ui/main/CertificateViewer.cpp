#include "ui/main/CertificateViewer.h"

#include "app/OwnTexts.h"
#include "shared/ZovevOdu.h"
#include "ui/main/DialogService.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <array>
#include <tuple>
#include <utility>

namespace {

using Details = CertificateDetails;

// Where the full text of a field waits for its row to be selected.
constexpr int DetailRole = Qt::UserRole;

CertificateViewer::Clock& clockSlot() {
    static CertificateViewer::Clock clock;
    return clock;
}

QDateTime now() {
    return clockSlot() ? clockSlot()() : QDateTime::currentDateTimeUtc();
}

QString dateText(const QDateTime& utc) {
    return utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString purposeText(const Details::ExtendedUsage& usage) {
    switch (usage.purpose) {
    case Details::Purpose::ServerAuthentication:
        return ownText(OwnKey::Viewer_ServerAuth);
    case Details::Purpose::ClientAuthentication:
        return ownText(OwnKey::Viewer_ClientAuth);
    case Details::Purpose::CodeSigning:
        return ownText(OwnKey::Viewer_CodeSigning);
    case Details::Purpose::SecureEmail:
        return ownText(OwnKey::Viewer_SecureEmail);
    case Details::Purpose::TimeStamping:
        return ownText(OwnKey::Viewer_TimeStamping);
    case Details::Purpose::OcspSigning:
        return ownText(OwnKey::Viewer_OcspSigning);
    case Details::Purpose::AnyPurpose:
        return ownText(OwnKey::Viewer_AllPurposes);
    case Details::Purpose::Other:
        break;
    }
    return usage.name;
}

QStringList keyUsageTexts(uint16_t bits) {
    static constexpr std::array<std::pair<uint16_t, OwnKey>, 9> Names = {{
        {Details::DigitalSignature, OwnKey::Viewer_DigitalSignature},
        {Details::NonRepudiation, OwnKey::Viewer_NonRepudiation},
        {Details::KeyEncipherment, OwnKey::Viewer_KeyEncipherment},
        {Details::DataEncipherment, OwnKey::Viewer_DataEncipherment},
        {Details::KeyAgreement, OwnKey::Viewer_KeyAgreement},
        {Details::CertificateSigning, OwnKey::Viewer_CertificateSigning},
        {Details::CrlSigning, OwnKey::Viewer_CrlSigning},
        {Details::EncipherOnly, OwnKey::Viewer_EncipherOnly},
        {Details::DecipherOnly, OwnKey::Viewer_DecipherOnly},
    }};
    QStringList texts;
    for (const auto& [bit, key] : Names)
        if (bits & bit)
            texts.append(ownText(key));
    return texts;
}

// What the certificate is for: its extended key usages, else its key usages, else everything.
QStringList purposeTexts(const Details& details) {
    QStringList texts;
    for (const Details::ExtendedUsage& usage : details.extendedUsages) {
        if (usage.purpose == Details::Purpose::AnyPurpose)
            return {ownText(OwnKey::Viewer_AllPurposes)};
        texts.append(purposeText(usage));
    }
    if (texts.isEmpty() && details.hasKeyUsage)
        texts = keyUsageTexts(details.keyUsage);
    if (texts.isEmpty())
        texts.append(ownText(OwnKey::Viewer_AllPurposes));
    return texts;
}

QString extensionName(const Details::Extension& extension) {
    switch (extension.kind) {
    case Details::ExtensionKind::BasicConstraints:
        return ownText(OwnKey::Viewer_BasicConstraints);
    case Details::ExtensionKind::KeyUsage:
        return ownText(OwnKey::Viewer_KeyUsage);
    case Details::ExtensionKind::ExtendedKeyUsage:
        return ownText(OwnKey::Viewer_ExtendedKeyUsage);
    case Details::ExtensionKind::SubjectKeyId:
        return ownText(OwnKey::Viewer_SubjectKeyId);
    case Details::ExtensionKind::AuthorityKeyId:
        return ownText(OwnKey::Viewer_AuthorityKeyId);
    case Details::ExtensionKind::SubjectAltName:
        return ownText(OwnKey::Viewer_SubjectAltName);
    case Details::ExtensionKind::IssuerAltName:
        return ownText(OwnKey::Viewer_IssuerAltName);
    case Details::ExtensionKind::CrlDistributionPoints:
        return ownText(OwnKey::Viewer_CrlDistributionPoints);
    case Details::ExtensionKind::AuthorityInfoAccess:
        return ownText(OwnKey::Viewer_AuthorityInfoAccess);
    case Details::ExtensionKind::CertificatePolicies:
        return ownText(OwnKey::Viewer_CertificatePolicies);
    case Details::ExtensionKind::Other:
        break;
    }
    return extension.name;
}

// A file name from the subject that any file system takes; the user can change it in the dialog.
QString suggestedFileName(const Details& details) {
    QString name = details.subject.displayName().left(100);
    for (QChar& c : name)
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20)
            c = u'_';
    name = name.trimmed();
    if (name.isEmpty() || name.startsWith(u'.'))
        name.prepend(QStringLiteral("certificate"));
    return name + QStringLiteral(".cer");
}

QLabel* valueLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QFrame* separator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

CertificateViewer::CertificateViewer(const CertificateDetails& details, QWidget* parent)
    : QDialog(parent), m_details(details) {
    Q_INIT_RESOURCE(images);
    setObjectName(QStringLiteral("CertificateViewer"));
    setWindowTitle(ownText(OwnKey::Viewer_Title));
    // The calling window's font, which the language file chose; a dialog window would not inherit it.
    if (parent)
        setFont(parent->font());
    setSizeGripEnabled(true);
    resize(560, 520);

    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabCertificate"));
    tabs->addTab(buildGeneralPage(), ownText(OwnKey::Viewer_General));
    tabs->addTab(buildDetailsPage(), ownText(OwnKey::Viewer_Details));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(ownText(OwnKey::Viewer_OK), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btnCertOK"));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs, 1);
    layout->addWidget(buttons);

    setTabOrder(tabs, m_fields);
    setTabOrder(m_fields, m_fieldValue);
    setTabOrder(m_fieldValue, m_copyToFile);
    setTabOrder(m_copyToFile, ok);
    ok->setFocus();
}

QWidget* CertificateViewer::buildGeneralPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsGeneral"));
    auto* layout = new QVBoxLayout(page);

    const Details::Validity validity = m_details.validityAt(now());
    if (validity != Details::Validity::Valid) {
        const bool expired = validity == Details::Validity::Expired;
        auto* banner = new QFrame(page);
        banner->setObjectName(QStringLiteral("frmValidityWarning"));
        // Red for a certificate past its end, orange for one whose time has not come yet.
        banner->setStyleSheet(expired ? QStringLiteral("#frmValidityWarning { background: #fdecea; border: 1px solid "
                                                       "#e57373; border-radius: 3px; } QLabel { color: #b71c1c; }")
                                      : QStringLiteral("#frmValidityWarning { background: #fff3e0; border: 1px solid "
                                                       "#ffb74d; border-radius: 3px; } QLabel { color: #8a4b00; }"));
        auto* icon = new QLabel(banner);
        icon->setObjectName(QStringLiteral("imgValidityWarning"));
        icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(24, 24));
        auto* text = valueLabel(banner, "lblValidityWarning",
                                ownText(expired ? OwnKey::Viewer_Expired : OwnKey::Viewer_NotYetValid));
        QFont bold = text->font();
        bold.setBold(true);
        text->setFont(bold);
        auto* bannerLayout = new QHBoxLayout(banner);
        bannerLayout->setContentsMargins(8, 6, 8, 6);
        bannerLayout->addWidget(icon);
        bannerLayout->addWidget(text, 1);
        layout->addWidget(banner);
    }

    // The information sits on a white sheet, as on the system's own certificate dialog.
    auto* sheet = new QFrame(page);
    sheet->setFrameShape(QFrame::StyledPanel);
    sheet->setFrameShadow(QFrame::Sunken);
    sheet->setBackgroundRole(QPalette::Base);
    sheet->setAutoFillBackground(true);
    auto* sheetLayout = new QVBoxLayout(sheet);
    sheetLayout->setContentsMargins(16, 14, 16, 14);
    sheetLayout->setSpacing(10);

    auto* heading = new QHBoxLayout;
    auto* certificateIcon = new QLabel(sheet);
    certificateIcon->setPixmap(QPixmap(QStringLiteral(":/tree-certificate.png")));
    auto* title = valueLabel(sheet, "lblInformation", ownText(OwnKey::Viewer_Information));
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    title->setFont(titleFont);
    heading->addWidget(certificateIcon);
    heading->addWidget(title, 1);
    sheetLayout->addLayout(heading);
    sheetLayout->addWidget(separator(sheet));

    sheetLayout->addWidget(valueLabel(sheet, "lblPurposesCaption", ownText(OwnKey::Viewer_Purposes) + u':'));
    QStringList bullets;
    for (const QString& purpose : purposeTexts(m_details))
        bullets.append(QStringLiteral("•  ") + purpose);
    auto* purposes = valueLabel(sheet, "lblPurposes", bullets.join(u'\n'));
    purposes->setIndent(16);
    sheetLayout->addWidget(purposes);
    sheetLayout->addWidget(separator(sheet));

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);
    // Labels are not Expanding: with less, a wrapping label keeps its narrow size hint and cuts its text.
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(10);
    const std::initializer_list<std::tuple<const char*, const char*, OwnKey, QString>> rows = {
        {"lblIssuedToCaption", "lblIssuedTo", OwnKey::Viewer_IssuedTo, m_details.subject.displayName()},
        {"lblIssuedByCaption", "lblIssuedBy", OwnKey::Viewer_IssuedBy, m_details.issuer.displayName()},
        {"lblValidFromCaption", "lblValidFrom", OwnKey::Viewer_ValidFrom, dateText(m_details.validFrom)},
        {"lblValidToCaption", "lblValidTo", OwnKey::Viewer_ValidTo, dateText(m_details.validTo)},
    };
    for (const auto& [captionName, valueName, key, value] : rows) {
        auto* caption = valueLabel(sheet, captionName, ownText(key) + u':');
        QFont bold = caption->font();
        bold.setBold(true);
        caption->setFont(bold);
        caption->setWordWrap(false);
        form->addRow(caption, valueLabel(sheet, valueName, value));
    }
    sheetLayout->addLayout(form);
    sheetLayout->addStretch(1);
    layout->addWidget(sheet, 1);
    return page;
}

QWidget* CertificateViewer::buildDetailsPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsDetails"));

    m_fields = new QTreeWidget(page);
    m_fields->setObjectName(QStringLiteral("lvCertFields"));
    m_fields->setColumnCount(2);
    m_fields->setHeaderLabels({ownText(OwnKey::Viewer_Field), ownText(OwnKey::Viewer_Value)});
    m_fields->setRootIsDecorated(false);
    m_fields->setUniformRowHeights(true);
    m_fields->setAllColumnsShowFocus(true);
    m_fields->setTextElideMode(Qt::ElideRight);
    m_fields->header()->setStretchLastSection(true);
    m_fields->setColumnWidth(0, 180);

    m_fieldValue = new QPlainTextEdit(page);
    m_fieldValue->setObjectName(QStringLiteral("edtFieldValue"));
    m_fieldValue->setReadOnly(true);
    // Read-only text is selectable by mouse only unless told otherwise; the keyboard selects and copies too.
    m_fieldValue->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    connect(m_fields, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        m_fieldValue->setPlainText(item ? item->data(0, DetailRole).toString() : QString());
    });

    const QString version = m_details.version > 0 ? QStringLiteral("V%1").arg(m_details.version) : QString();
    addField(ownText(OwnKey::Viewer_Version), version, version);
    addField(ownText(OwnKey::Viewer_SerialNumber), m_details.serialNumber, m_details.serialNumber);
    addField(ownText(OwnKey::Viewer_SignatureAlgorithm), m_details.signatureAlgorithm, m_details.signatureAlgorithm);
    if (!m_details.signatureHash.isEmpty())
        addField(ownText(OwnKey::Viewer_SignatureHash), m_details.signatureHash, m_details.signatureHash);
    addField(ownText(OwnKey::Viewer_Issuer), m_details.issuer.singleLine, m_details.issuer.perLine.join(u'\n'));
    addField(ownText(OwnKey::Viewer_ValidFrom), dateText(m_details.validFrom), dateText(m_details.validFrom));
    addField(ownText(OwnKey::Viewer_ValidTo), dateText(m_details.validTo), dateText(m_details.validTo));
    addField(ownText(OwnKey::Viewer_Subject), m_details.subject.singleLine, m_details.subject.perLine.join(u'\n'));
    const QString key = m_details.publicKeySummary();
    addField(ownText(OwnKey::Viewer_PublicKey), key,
             m_details.curveName.isEmpty() ? key : key + u'\n' + m_details.curveName);
    addField(ownText(OwnKey::Viewer_PublicKeyValue), m_details.publicKeyValue, m_details.publicKeyValue);
    addExtensionFields();
    addField(ownText(OwnKey::Viewer_Thumbprint) + QStringLiteral(" (SHA-1)"), m_details.sha1Thumbprint,
             m_details.sha1Thumbprint);
    addField(ownText(OwnKey::Viewer_Thumbprint) + QStringLiteral(" (SHA-256)"), m_details.sha256Thumbprint,
             m_details.sha256Thumbprint);
    m_fields->setCurrentItem(m_fields->topLevelItem(0));

    m_copyToFile = new QPushButton(ownText(OwnKey::Viewer_CopyToFile), page);
    m_copyToFile->setObjectName(QStringLiteral("btnCopyToFile"));
    m_copyToFile->setAutoDefault(false);
    connect(m_copyToFile, &QPushButton::clicked, this, &CertificateViewer::copyToFile);

    auto* splitter = new QSplitter(Qt::Vertical, page);
    splitter->addWidget(m_fields);
    splitter->addWidget(m_fieldValue);
    splitter->setChildrenCollapsible(false);
    // Most rows in view; a few lines suffice for the value below.
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({300, 110});

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_copyToFile);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttonRow);
    return page;
}

void CertificateViewer::addField(const QString& name, const QString& summary, const QString& detail, bool critical) {
    auto* item = new QTreeWidgetItem(m_fields, {name, summary});
    item->setData(0, DetailRole, detail);
    item->setToolTip(1, summary);
    if (critical) {
        item->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
        item->setToolTip(0, ownText(OwnKey::Viewer_Critical));
    }
}

void CertificateViewer::addExtensionFields() {
    for (const Details::Extension& extension : m_details.extensions) {
        QString summary = extension.summary;
        QString detail = extension.value;
        // The usages are worded in the user's language; OpenSSL's printout is English.
        if (extension.kind == Details::ExtensionKind::ExtendedKeyUsage && !m_details.extendedUsages.isEmpty()) {
            QStringList names;
            QStringList lines;
            for (const Details::ExtendedUsage& usage : m_details.extendedUsages) {
                const QString name = purposeText(usage);
                names.append(name);
                lines.append(name == usage.oid ? name : QStringLiteral("%1 (%2)").arg(name, usage.oid));
            }
            summary = names.join(QStringLiteral(", "));
            detail = lines.join(u'\n');
        } else if (extension.kind == Details::ExtensionKind::KeyUsage && m_details.hasKeyUsage) {
            if (const QStringList names = keyUsageTexts(m_details.keyUsage); !names.isEmpty()) {
                summary = names.join(QStringLiteral(", "));
                detail = names.join(u'\n');
            }
        }
        if (extension.critical)
            detail = ownText(OwnKey::Viewer_Critical) + QStringLiteral("\n\n") + detail;
        addField(extensionName(extension), summary, detail, extension.critical);
    }
}

void CertificateViewer::copyToFile() {
    const QString path = DialogService::saveFileName(this, ownText(OwnKey::Viewer_SaveCaption),
                                                     QDir::home().filePath(suggestedFileName(m_details)),
                                                     ownText(OwnKey::Viewer_SaveFilter), QStringLiteral("cer"));
    if (!path.isEmpty())
        saveCertificate(this, path, m_details.der);
}

bool CertificateViewer::saveCertificate(QWidget* owner, const QString& path, const QByteArray& der) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(der) == der.size() && file.commit())
        return true;
    DialogService::information(owner, ownText(OwnKey::Viewer_SaveFailed) + u'\n' + QDir::toNativeSeparators(path));
    return false;
}

int32_t CertificateViewer::showFromLibrary(void* owner, const uint8_t* certificate, int32_t certificateLength) {
    if (!certificate || certificateLength <= 0)
        return ZV_ERR_ARGUMENTS;
    const CertificateDetails details =
        readCertificateDetails(QByteArray(reinterpret_cast<const char*>(certificate), certificateLength));
    if (!details.valid)
        return ZV_ERR_CERT_INVALID;
    // Widgets live only in a widget application's GUI thread.
    const auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!application || QThread::currentThread() != application->thread())
        return ZV_ERR_NOT_SUPPORTED;
    // Held by a guard: should the owner window go while the dialog runs, it takes the dialog with it.
    const QPointer<CertificateViewer> viewer = new CertificateViewer(details, static_cast<QWidget*>(owner));
    viewer->exec();
    delete viewer.data();
    return ZV_OK;
}

void CertificateViewer::setClock(Clock clock) {
    clockSlot() = std::move(clock);
}
