#pragma once

#include <cstdint>

class QString;
class QWidget;
class SkfLibrary;
class TokenLibrary;
struct TAPPInfo;
struct WindowState;

// What a page may reach of the main window: the two library bindings, the window state, the profile, the owner of
// its message boxes, and the few window operations that pages call. The main window is the one host; pages never
// see the window itself.
class PageHost {
public:
    // The pages of the window's page stack, by index.
    enum PageIndex {
        KeyInfo = 0,
        UserPin = 1,
        KeyLabel = 2,
        Login = 3,
        Certificates = 4,
        SystemCheck = 5,
        About = 6,
        Initialization = 7,
        SoPin = 8,
        UnlockUserPin = 9,
        CdromImage = 10,
        Biometric = 11,
        BiometricPictures = 12,
        AdminLogin = 13,
        RemoteUnlock = 14,
        PageCount = 15,
    };

    virtual TokenLibrary& tokenLibrary() = 0;
    virtual SkfLibrary& skfLibrary() = 0;
    virtual WindowState& state() = 0;
    virtual const TAPPInfo& appInfo() const = 0;
    // The program's folder, ending with "/": the profile and the initialization template are beside the program.
    virtual QString programDirectory() const = 0;
    virtual QWidget* dialogOwner() = 0;
    // True once the window has begun to close: long waits end.
    virtual bool isClosing() const = 0;

    // Looks for tokens again and rebuilds the tree; 0 when every token was found and read.
    virtual int32_t DiscoverKeys() = 0;
    virtual void ShowPage(int index) = 0;
    // Warns about tokens that were never initialized, once the window is idle again.
    virtual void CheckInitSoon() = 0;
    // After a user login: the certificate page with the token's tree and its actions, the keyboard in the tree.
    virtual void ShowCertificatesAfterLogin(int32_t index) = 0;
    // The node of the selected token shows label.
    virtual void RenameTokenNode(const QString& label) = 0;
    // After an administrator login: the selection goes on to the next node of the tree, past the node's own first
    // child when it has children.
    virtual void MoveSelectionForward() = 0;
    // Makes the language of catalogue entry index the program's language and remembers the choice.
    virtual void SwitchLanguage(int index) = 0;

protected:
    ~PageHost() = default;
};
