#pragma once

#include "shared/SkfApi.h"

#include <string>
#include <utility>
#include <vector>

// What the scripted SKF library answers, set by the test through FakeSkf_State() before each call of the binding.
// It exports only the entry points its tests use; SKF_UnblockFinger stays missing, so that a missing one can be
// seen.
struct FakeSkfState {
    std::string deviceList;       // the bytes SKF_EnumDev writes, zeros included
    SKF_ULONG deviceListSize = 0; // the size it reports
    SKF_ULONG enumDevResult = 0;
    int emptyDeviceListsLeft = 0; // enumerations that report size 0 before the list appears
    int connectFailsAt = -1;      // index of the connection that fails
    std::vector<std::string> serials;
    std::string applicationList;
    SKF_ULONG applicationListSize = 0;
    int applicationListFailuresLeft = 0;
    std::vector<uint8_t> fingerList;
    SKF_ULONG fingerListLength = 0;
    SKF_ULONG fingerRetriesLeft = 0;
    SKF_ULONG fingerInfoResult = 0; // SKF_GetFingerInfo fills in its outputs, then answers this
    SKF_ULONG deviceCapsResult = 0;
    SKF_ULONG deviceType = 0;
    SKF_ULONG enrolInitResult = 0;
    // What SKF_EnrollFinger answers, call after call: the code and the progress. Past the end it answers SAR_FAIL.
    std::vector<std::pair<SKF_ULONG, SKF_ULONG>> enrolment;
    std::vector<std::string> calls; // "SKF_ConnectDev P", "SKF_OpenApplication 2 APP", …
};

extern "C" FakeSkfState* FakeSkf_State();
