// A stand-in for libpcsclite.so.1 with pcsc-lite's exports: one context, two readers. Built a second time without
// SCardTransmit (FAKE_PCSC_WITHOUT_TRANSMIT) to be a library that lacks an entry point.
#define PCSC_API __attribute__((visibility("default")))
#include <PCSC/winscard.h>

#include <cstring>

namespace {

constexpr SCARDCONTEXT Context = 0x7654321000; // wider than 32 bits: a binding that narrows it loses it
constexpr char Readers[] = "Fake Reader 0\0Fake Reader 1\0";

} // namespace

extern "C" {

LONG SCardEstablishContext(DWORD scope, LPCVOID reserved1, LPCVOID reserved2, LPSCARDCONTEXT context) {
    if (scope != SCARD_SCOPE_SYSTEM || reserved1 || reserved2)
        return SCARD_E_INVALID_VALUE;
    *context = Context;
    return SCARD_S_SUCCESS;
}

LONG SCardReleaseContext(SCARDCONTEXT context) {
    return context == Context ? SCARD_S_SUCCESS : SCARD_E_INVALID_HANDLE;
}

LONG SCardListReaders(SCARDCONTEXT context, LPCSTR, LPSTR readers, LPDWORD length) {
    if (context != Context)
        return SCARD_E_INVALID_HANDLE;
    const DWORD available = *length;
    *length = sizeof Readers;
    if (!readers)
        return SCARD_S_SUCCESS;
    if (available < sizeof Readers)
        return SCARD_E_INSUFFICIENT_BUFFER;
    std::memcpy(readers, Readers, sizeof Readers);
    return SCARD_S_SUCCESS;
}

// Entry points the binding only looks for.
#define VX_FAKE_ENTRY(name, ...)                                                                                       \
    LONG name(__VA_ARGS__) {                                                                                           \
        return SCARD_E_UNSUPPORTED_FEATURE;                                                                            \
    }
VX_FAKE_ENTRY(SCardConnect, SCARDCONTEXT, LPCSTR, DWORD, DWORD, LPSCARDHANDLE, LPDWORD)
VX_FAKE_ENTRY(SCardReconnect, SCARDHANDLE, DWORD, DWORD, DWORD, LPDWORD)
VX_FAKE_ENTRY(SCardDisconnect, SCARDHANDLE, DWORD)
VX_FAKE_ENTRY(SCardBeginTransaction, SCARDHANDLE)
VX_FAKE_ENTRY(SCardEndTransaction, SCARDHANDLE, DWORD)
VX_FAKE_ENTRY(SCardStatus, SCARDHANDLE, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD)
VX_FAKE_ENTRY(SCardGetStatusChange, SCARDCONTEXT, DWORD, SCARD_READERSTATE*, DWORD)
VX_FAKE_ENTRY(SCardControl, SCARDHANDLE, DWORD, LPCVOID, DWORD, LPVOID, DWORD, LPDWORD)
#ifndef FAKE_PCSC_WITHOUT_TRANSMIT
VX_FAKE_ENTRY(SCardTransmit, SCARDHANDLE, const SCARD_IO_REQUEST*, LPCBYTE, DWORD, SCARD_IO_REQUEST*, LPBYTE, LPDWORD)
#endif
VX_FAKE_ENTRY(SCardListReaderGroups, SCARDCONTEXT, LPSTR, LPDWORD)
VX_FAKE_ENTRY(SCardFreeMemory, SCARDCONTEXT, LPCVOID)
VX_FAKE_ENTRY(SCardCancel, SCARDCONTEXT)
VX_FAKE_ENTRY(SCardGetAttrib, SCARDHANDLE, DWORD, LPBYTE, LPDWORD)
VX_FAKE_ENTRY(SCardSetAttrib, SCARDHANDLE, DWORD, LPCBYTE, DWORD)

} // extern "C"
