#pragma once

#include <QAction>

// The main window's actions. Buttons and menu entries are bound to them, so an action's text, enabled and visible
// state show wherever it is offered; the object name of each is the name the handlers and tests use.
class MainActions {
public:
    explicit MainActions(QWidget* owner) : m_owner(owner) {}

private:
    QWidget* m_owner;
    QAction* make(const char* name);

public:
#define VX_ACTION(name) QAction* const name = make(#name)
    VX_ACTION(AcKeyRefresh);
    VX_ACTION(AcSetUserPIN);
    VX_ACTION(AcSetKeyName);
    VX_ACTION(AcLogin);
    VX_ACTION(AcCancel);
    VX_ACTION(AcFingerlogon);
    VX_ACTION(Aclogout);
    VX_ACTION(AcListCert);
    VX_ACTION(AcOutput);
    VX_ACTION(AcDel);
    VX_ACTION(AcDelCert);
    VX_ACTION(AcInputCert);
    VX_ACTION(AcRegCert);
    VX_ACTION(AcUnRegCert);
    VX_ACTION(Acrefresh);
    VX_ACTION(AcMore);
    VX_ACTION(AcSave);
    VX_ACTION(AcUpdate);
    VX_ACTION(AcInit);
    VX_ACTION(AcSetSOPIN);
    VX_ACTION(AcUnlock);
    VX_ACTION(AcDownISO);
    VX_ACTION(AcFingerTest);
    VX_ACTION(AcFingerUnlock);
    VX_ACTION(AcFingerDel);
    VX_ACTION(AcFingerStudy);
    VX_ACTION(AcFinger_SOPIN_Login);
    VX_ACTION(AcFingerLoginCancel);
    VX_ACTION(AcFinger_SOPINFinger_Login);
    VX_ACTION(AcRequest);
    VX_ACTION(AcRemoteUnLock);
    // The spare pop-up menu: four entries without an operation, and exit.
    VX_ACTION(AcShowMainWindow);
    VX_ACTION(AcAdvanced);
    VX_ACTION(AcCheckSystem);
    VX_ACTION(AcAbout);
    VX_ACTION(AcExit);
#undef VX_ACTION
};
