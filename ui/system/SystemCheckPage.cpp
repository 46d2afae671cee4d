#include "ui/system/SystemCheckPage.h"

#include "app/AppInfo.h"
#include "app/LanguageTable.h"
#include "platform/DefaultBrowser.h"
#include "platform/LibraryLocation.h"
#include "platform/OperatingSystem.h"
#include "token/LibraryVersion.h"
#include "token/ModuleRegistration.h"
#include "ui/main/FormControls.h"
#include "ui/main/KeyInfoPage.h"

#include <QAction>
#include <QBoxLayout>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

using namespace FormControls;

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

void SystemCheckPage::applyTexts() {
    LVSystemInfo->setHeaderLabels({textOf(TextKey::CheckSys_Form_lv_Item1), textOf(TextKey::CheckSys_Form_lv_Item2)});
    AcMore->setText(textOf(TextKey::btn_More));
    AcSave->setText(textOf(TextKey::btn_Save));
    AcUpdate->setText(textOf(TextKey::U_CheckVersion));
}
