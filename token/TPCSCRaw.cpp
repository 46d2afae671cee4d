#include "token/TPCSCRaw.h"

namespace {

struct EntryPoint {
    const char* name;     // as the Windows smart-card API names it
    const char* exported; // as pcsc-lite exports it; null for what pcsc-lite lacks
};

constexpr EntryPoint EntryPoints[] = {
    {"SCardBeginTransaction", "SCardBeginTransaction"},
    {"SCardCancel", "SCardCancel"},
    {"SCardConnectA", "SCardConnect"},
    {"SCardControl", "SCardControl"},
    {"SCardDisconnect", "SCardDisconnect"},
    {"SCardEndTransaction", "SCardEndTransaction"},
    {"SCardEstablishContext", "SCardEstablishContext"},
    {"SCardFreeMemory", "SCardFreeMemory"},
    {"SCardGetAttrib", "SCardGetAttrib"},
    {"SCardGetProviderIdA", nullptr},
    {"SCardGetStatusChangeA", "SCardGetStatusChange"},
    {"SCardListReadersA", "SCardListReaders"},
    {"SCardListCardsA", nullptr},
    {"SCardListInterfacesA", nullptr},
    {"SCardListReaderGroupsA", "SCardListReaderGroups"},
    {"SCardLocateCardsA", nullptr},
    {"SCardReconnect", "SCardReconnect"},
    {"SCardReleaseContext", "SCardReleaseContext"},
    {"SCardTransmit", "SCardTransmit"},
    {"SCardSetAttrib", "SCardSetAttrib"},
    {"SCardStatusA", "SCardStatus"},
};

} // namespace

TPCSCRaw::TPCSCRaw(const QString& libraryPath) : m_library(libraryPath) {}

TPCSCRaw::~TPCSCRaw() {
    Unload();
}

int TPCSCRaw::Load() {
    if (m_loaded)
        return Loaded;
    if (!m_library.load())
        return LibraryMissing;
    for (const EntryPoint& entry : EntryPoints) {
        if (entry.exported && !m_library.resolve(entry.exported)) {
            qWarning("PC/SC: %s has no %s (%s)", qUtf8Printable(m_library.fileName()), entry.exported, entry.name);
            m_library.unload();
            return EntryPointMissing;
        }
    }
    m_establishContext = reinterpret_cast<decltype(m_establishContext)>(m_library.resolve("SCardEstablishContext"));
    m_listReaders = reinterpret_cast<decltype(m_listReaders)>(m_library.resolve("SCardListReaders"));
    m_releaseContext = reinterpret_cast<decltype(m_releaseContext)>(m_library.resolve("SCardReleaseContext"));
    m_loaded = true;
    return Loaded;
}

bool TPCSCRaw::Unload() {
    if (!m_loaded)
        return false;
    m_loaded = false;
    m_establishContext = nullptr;
    m_listReaders = nullptr;
    m_releaseContext = nullptr;
    m_library.unload();
    return true;
}

LONG TPCSCRaw::EstablishContext(DWORD scope, LPCVOID reserved1, LPCVOID reserved2, SCARDCONTEXT& context) {
    return m_loaded ? m_establishContext(scope, reserved1, reserved2, &context) : SCARD_F_INTERNAL_ERROR;
}

LONG TPCSCRaw::ListReaders(SCARDCONTEXT context, LPCSTR groups, LPSTR readers, DWORD& length) {
    return m_loaded ? m_listReaders(context, groups, readers, &length) : SCARD_F_INTERNAL_ERROR;
}

LONG TPCSCRaw::ReleaseContext(SCARDCONTEXT context) {
    return m_loaded ? m_releaseContext(context) : SCARD_F_INTERNAL_ERROR;
}
