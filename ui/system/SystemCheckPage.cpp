#include "ui/system/SystemCheckPage.h"

#include "app/AppInfo.h"
#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "platform/DefaultBrowser.h"
#include "platform/LibraryLocation.h"
#include "platform/OperatingSystem.h"
#include "platform/SmartCardService.h"
#include "platform/TextEncoding.h"
#include "token/LibraryVersion.h"
#include "token/ModuleRegistration.h"
#include "token/TokenLibrary.h"
#include "ui/main/DesktopOpener.h"
#include "ui/main/DialogService.h"
#include "ui/main/FormControls.h"
#include "ui/main/KeyInfoPage.h"
#include "ui/main/WindowState.h"

#include <QAction>
#include <QBoxLayout>
#include <QDateTime>
#include <QDir>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QThread>
#include <QTreeWidget>
#include <QUrl>

using namespace FormControls;

namespace {

// The longest pause after a row of the check, in milliseconds.
constexpr int CheckPause = 100;

} // namespace

SystemCheckPage::SystemCheckPage(PageHost& host, QWidget* parent)
    : Page(host, parent), LVSystemInfo(new QTreeWidget(this)), btnMore(button(this, "btnMore")),
      btnSave(button(this, "btnSave")), btnUpdate(button(this, "btnUpdate")), pbURLDownFile(new QProgressBar(this)),
      AcMore(makeAction("AcMore")), AcSave(makeAction("AcSave")), AcUpdate(makeAction("AcUpdate")) {
    LVSystemInfo->setObjectName(QStringLiteral("LVSystemInfo"));
    LVSystemInfo->setColumnCount(2);
    LVSystemInfo->setRootIsDecorated(false);
    LVSystemInfo->setAllColumnsShowFocus(true);
    LVSystemInfo->setAlternatingRowColors(true);
    LVSystemInfo->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LVSystemInfo->setColumnWidth(0, 150);
    LVSystemInfo->setColumnWidth(1, 240);
    pbURLDownFile->setObjectName(QStringLiteral("pbURLDownFile"));

    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(LVSystemInfo, 1);
    layout->addWidget(pbURLDownFile);
    layout->addLayout(buttonRow({btnMore, btnSave, btnUpdate}));
    bindToAction(btnMore, AcMore);
    bindToAction(btnSave, AcSave);
    bindToAction(btnUpdate, AcUpdate);
    // This desktop build offers neither the update, the report nor the check again; the download bar shows only
    // while an update downloads.
    AcUpdate->setVisible(false);
    pbURLDownFile->setVisible(false);
    AcSave->setVisible(false);
    AcMore->setVisible(false);
    connect(AcMore, &QAction::triggered, this, [this] { RunSystemCheck(CheckPause); });
    connect(AcSave, &QAction::triggered, this, &SystemCheckPage::SaveSystemReport);
    connect(AcUpdate, &QAction::triggered, this, &SystemCheckPage::AcUpdateExecute);
}

void SystemCheckPage::ShowSystemSummary() {
    LVSystemInfo->clear();
    const TAPPInfo& profile = m_host.appInfo();
    const QString directory = NativeLibraryDirectory();
    const auto row = [this](TextKey caption, const QString& value) {
        KeyInfoPage::AddInfoRow(LVSystemInfo, textOf(caption), value);
    };
    row(TextKey::S_System_Ver, OperatingSystem::name());
    row(TextKey::S_IE_Ver, DefaultBrowser::find().rowText());
    // The CSP of the other system is the token's module registered for the user's programs.
    const QString module =
        ModuleRegistration::absoluteModulePath(LibraryLocation(m_host.programDirectory(), profile.PKCS11Lib));
    row(TextKey::S_CSP_State,
        textOf(ModuleRegistration::isRegisteredForUser(module) ? TextKey::S_CSP_Install : TextKey::S_CSP_NullInstall));
    row(TextKey::S_CSP_Ver,
        LibraryVersion::text(InstalledLibrary(m_host.programDirectory(), profile.CSPLib, directory)));
    row(TextKey::S_PKCS11_Ver,
        LibraryVersion::text(InstalledLibrary(m_host.programDirectory(), profile.PKCS11Lib, directory)));
}

namespace {

struct TestSeams {
    std::function<void(int)> pause;
    std::optional<bool> is64Bit;
};

TestSeams& seams() {
    static TestSeams replaced;
    return replaced;
}

void pauseAfterRow(int pause) {
    if (seams().pause) {
        seams().pause(pause);
        return;
    }
    QThread::msleep(QRandomGenerator::global()->bounded(pause));
}

} // namespace

void SystemCheckPage::setForTests(std::function<void(int)> pauseAfterRow, std::optional<bool> is64Bit) {
    seams() = {std::move(pauseAfterRow), is64Bit};
}

void SystemCheckPage::offerAdminTools(bool offered) {
    AcMore->setVisible(offered);
    AcSave->setVisible(offered);
    AcUpdate->setVisible(offered);
}

void SystemCheckPage::addRow(const QString& label, const QString& value, RowStatus status, int pause) {
    auto* item = new QTreeWidgetItem(LVSystemInfo, {label, value});
    item->setData(0, Qt::UserRole, int(status));
    if (pause > 0)
        pauseAfterRow(pause);
    LVSystemInfo->repaint();
}

void SystemCheckPage::RunSystemCheck(int pause) {
    LVSystemInfo->clear();
    const TAPPInfo& profile = m_host.appInfo();
    const bool is64Bit = seams().is64Bit.value_or(OperatingSystem::is64Bit());
    const QString native = NativeLibraryDirectory(), thirtyTwoBit = ThirtyTwoBitLibraryDirectory();
    const QString program = m_host.programDirectory();
    const auto row = [&](TextKey label, const QString& value, RowStatus status) {
        addRow(textOf(label), value, status, pause);
    };
    row(TextKey::S_System_Ver, OperatingSystem::name(), Good);
    row(TextKey::S_IE_Ver, DefaultBrowser::find().checkText(), Good);
    // A library row, then the version of the native one: a missing file is a problem, and so is its version.
    const auto library = [&](const QString& name, TextKey nativeLabel, TextKey thirtyTwoBitLabel, TextKey version) {
        const QString found = InstalledLibrary(program, name, native);
        const auto pathRow = [&](TextKey label, const QString& path) {
            row(label, path.isEmpty() ? textOf(TextKey::S_CSP_NullInstall) : path, path.isEmpty() ? Problem : Good);
        };
        pathRow(nativeLabel, found);
        // An absolute name is one file: it stands in the 32-bit row only when it lies in the 32-bit directory.
        const bool absolute = QDir::isAbsolutePath(name);
        if (is64Bit)
            pathRow(thirtyTwoBitLabel, thirtyTwoBit.isEmpty() || (absolute && !name.startsWith(thirtyTwoBit + u'/'))
                                           ? QString()
                                           : InstalledLibrary({}, name, thirtyTwoBit));
        row(version, LibraryVersion::text(found), found.isEmpty() ? Problem : Good);
    };
    library(profile.CSPLib, TextKey::U_CSP_X86_Path, TextKey::U_CSP_X64_Path, TextKey::S_CSP_Ver);
    library(profile.PKCS11Lib, TextKey::U_P11_X86_Path, TextKey::U_P11_X64_Path, TextKey::S_PKCS11_Ver);

    WindowState& state = m_host.state();
    TokenLibrary& tokens = m_host.tokenLibrary();
    if (tokens.token_get_info_ex(0, state.KeyTable[0].info) == 0)
        tokens.token_get_pin_state(0, UserPinType, m_pinState);
    const bool connected = state.KeyCount > 0;
    row(TextKey::U_USBState, textOf(connected ? TextKey::S_Connect : TextKey::S_DisConnect),
        connected ? Good : Problem);
    // What the token needs on Linux: the smart-card service, and the driver it reads the token through.
    const bool service = SmartCardService::running();
    row(TextKey::MS_SmartCard_Svr, textOf(service ? TextKey::MS_Srv_Run : TextKey::MS_Srv_Stop),
        service ? Good : Problem);
    const QString ccid = SmartCardService::ccidVersion();
    row(TextKey::S_CCIDVer, ccid.isEmpty() ? textOf(TextKey::S_CSP_NullInstall) : ccid,
        ccid.isEmpty() ? Problem : Good);
    if (!connected)
        return;

    // Token 0's, whichever token is selected.
    const TTokenInfo& info = state.KeyTable[0].info;
    const auto number = [](int32_t value) { return QString::number(value); };
    row(TextKey::K_Info_labelName, info.labelText(), Good);
    row(TextKey::K_Info_manufacture, TextEncoding::fromLocal8(fieldBytes(info.manufacturer)), Good);
    row(TextKey::K_Info_model, TextEncoding::fromLocal8(fieldBytes(info.model)), Good);
    row(TextKey::K_Info_Sn, TextEncoding::fromLocal8(info.serialBytes()), Good);
    row(TextKey::K_Info_maxPinLen, number(info.maxPinLength), Good);
    row(TextKey::K_Info_minPinLen, number(info.minPinLength), Good);
    row(TextKey::Admin_label_TryCount, number(m_pinState.maximum), Good);
    row(TextKey::S_KeyTryTime, number(m_pinState.remaining), Good);
    const bool locked = m_pinState.locked != 0;
    row(TextKey::S_Key_Dead_State, textOf(locked ? TextKey::S_Key_Dead_Yes : TextKey::S_Key_Dead_No),
        locked ? Problem : Good);
    const auto size = [](int32_t bytes) {
        return bytes < 0 ? textOf(TextKey::K_Info_Unknown) : KeyInfoPage::FormatSize(bytes);
    };
    row(TextKey::K_Info_totalMemory, size(info.totalMemory), Good);
    row(TextKey::K_Info_freeMemory, size(info.freeMemory), Good);
    row(TextKey::K_Info_hardwareVer, KeyInfoPage::VersionText(info.hardwareVersion), Good);
    row(TextKey::K_Info_firmVer, KeyInfoPage::VersionText(info.firmwareVersion), Good);
    KeyInfoPage::AddInfoRow(LVSystemInfo, QStringLiteral("FIPS"), QStringLiteral("140-2 Compatible"));
}

void SystemCheckPage::SaveSystemReport() {
    QWidget* owner = m_host.dialogOwner();
    const QString path = DialogService::saveFileName(owner, QString(), QStringLiteral("SystemInfo.txt"), QString(),
                                                     QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    QString report = ShortDateLongTime(QDateTime::currentDateTime()) + QStringLiteral("\r\n\r\n");
    for (int i = 0; i < LVSystemInfo->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = LVSystemInfo->topLevelItem(i);
        report += Format(QStringLiteral("%20s : %s"), {item->text(0), item->text(1)}) + QStringLiteral("\r\n");
    }
    // Written whole or not at all: an earlier report is not left half overwritten.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(TextEncoding::toLocal8(report)) < 0 || !file.commit()) {
        DialogService::information(owner, file.errorString());
        return;
    }
    DesktopOpener::open(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
}

void SystemCheckPage::applyTexts() {
    LVSystemInfo->setHeaderLabels({textOf(TextKey::CheckSys_Form_lv_Item1), textOf(TextKey::CheckSys_Form_lv_Item2)});
    AcMore->setText(textOf(TextKey::btn_More));
    AcSave->setText(textOf(TextKey::btn_Save));
    AcUpdate->setText(textOf(TextKey::U_CheckVersion));
}
