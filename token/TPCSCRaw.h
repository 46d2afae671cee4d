#pragma once

#include <PCSC/winscard.h>

#include <QLibrary>
#include <QString>

// The program's binding of the PC/SC smart-card service, loaded at run time from libpcsclite.so.1 and never linked.
// Load checks the entry points of the Windows smart-card API that the program was written against: pcsc-lite exports
// the ANSI ones under their plain names (SCardConnect for SCardConnectA) and lacks SCardGetProviderIdA,
// SCardListCardsA, SCardListInterfacesA and SCardLocateCardsA, which are features it does not have
// (SCARD_E_UNSUPPORTED_FEATURE), not a reason to fail. DWORD and LONG are pcsc-lite's, 64 bits wide here.
class TPCSCRaw {
public:
    static constexpr int Loaded = 0;
    static constexpr int LibraryMissing = 1;
    static constexpr int EntryPointMissing = 2;

    // libraryPath is for tests; the program uses the system's pcsc-lite.
    explicit TPCSCRaw(const QString& libraryPath = QStringLiteral("libpcsclite.so.1"));
    ~TPCSCRaw();
    TPCSCRaw(const TPCSCRaw&) = delete;
    TPCSCRaw& operator=(const TPCSCRaw&) = delete;

    // Loaded, LibraryMissing, or EntryPointMissing (the library is released again). Loaded at once when it already is.
    int Load();
    // False when not loaded; otherwise releases the library.
    bool Unload();
    bool isLoaded() const { return m_loaded; }

    // Straight to SCardEstablishContext, SCardListReaders and SCardReleaseContext, returning their code;
    // SCARD_F_INTERNAL_ERROR without calling anything while not loaded.
    LONG EstablishContext(DWORD scope, LPCVOID reserved1, LPCVOID reserved2, SCARDCONTEXT& context);
    LONG ListReaders(SCARDCONTEXT context, LPCSTR groups, LPSTR readers, DWORD& length);
    LONG ReleaseContext(SCARDCONTEXT context);

private:
    QLibrary m_library;
    bool m_loaded = false;
    decltype(&SCardEstablishContext) m_establishContext = nullptr;
    decltype(&SCardListReaders) m_listReaders = nullptr;
    decltype(&SCardReleaseContext) m_releaseContext = nullptr;
};
