#pragma once

#include "token/Pin.h"
#include "token/TokenInfo.h"

#include <QtGlobal>

#include <array>
#include <cstdint>

// One token slot of the key table: what the token library told about the token, and how far the user got with it.
struct KeySlot {
    enum State : int32_t { NoToken = 0, Present = 1, LoggedIn = 2 };

    TTokenInfo info;
    int32_t KeyState = NoToken;
};

// For each container position of a token: 1 when the container holds a key-exchange certificate, and 2 when it holds
// a signature certificate (0 otherwise), as the last certificate tree build found them.
using ContainerCertFlags = std::array<std::array<uint8_t, 2>, TTokenInfo::MaximumContainers>;

// What the main window knows about the tokens and the device watch; the pages read and write it through their host.
struct WindowState {
    static constexpr int KeySlots = 33;
    // The token library is asked for at most this many tokens.
    static constexpr int DiscoverableTokens = 32;
    enum Role : int32_t { UserRole = 1, AdministratorRole = 2 };

    std::array<KeySlot, KeySlots> KeyTable;
    int32_t KeyCount = 0;   // tokens found by the last discovery
    int32_t CurrentKey = 0; // token of the selected tree node
    int32_t LoginRole = UserRole;
    bool TokenLibraryOpen = false;
    bool FingerKey = false;     // the first SKF device has a biometric sensor
    bool FingerVeinKey = false; // and it reads finger veins
    int32_t ArrivalBalance = 0; // matching arrivals minus matching removals
    int32_t DiscoveryTicksLeft = 0;
    std::array<ContainerCertFlags, DiscoverableTokens> CertFlags{};
    // The PIN of the last successful user login, for the biometric functions; wiped at logout and by a discovery.
    Pin LastUserPin;

    // The slot of a token index. An index outside the table is the caller's bug: a debug build stops there, and a
    // release build gets no slot, so that the caller does nothing rather than act on another token.
    KeySlot* slot(int32_t index) { return within(index, KeySlots) ? &KeyTable[size_t(index)] : nullptr; }
    KeySlot* currentSlot() { return slot(CurrentKey); }
    ContainerCertFlags* certFlags(int32_t index) {
        return within(index, DiscoverableTokens) ? &CertFlags[size_t(index)] : nullptr;
    }

private:
    static bool within(int32_t index, int size) {
        const bool inside = index >= 0 && index < size;
        Q_ASSERT_X(inside, "WindowState", "a token index outside the key table");
        return inside;
    }
};
