// The SKF library's biometric functions: enrolment, test, deletion and the counters of the user's and the
// administrator's fingers. Samples come from the token's sensor queue, one event at most per call, and no call
// waits: while the sensor has nothing, the calls answer SAR_FINGER_CONTINUE at once.
#include "vtoken/FingerSensor.h"
#include "vtoken/SkfState.h"

#include <algorithm>
#include <type_traits>

using namespace vtoken;
using namespace vtoken::skf;

namespace {

constexpr SKF_ULONG MostRetries = 15;
constexpr SKF_ULONG HighestLevel = 255;
constexpr size_t ShortFingerList = 10;
constexpr size_t LongFingerList = 100;

// SAR_OK when the token's biometric side can be used: it has a sensor, and it is initialized.
SKF_ULONG biometricsRefused(const TokenRecord& token) {
    if (token.sensor == SensorKind::None)
        return SAR_NOTSUPPORTYETERR;
    if (!token.initialized)
        return SAR_APPLICATION_NOT_EXISTS;
    return SAR_OK;
}

FingerRecord TokenRecord::*fingersOfType(SKF_ULONG pinType) {
    return pinType == SKF_PIN_ADMIN ? &TokenRecord::adminFingers : &TokenRecord::userFingers;
}

// Runs a body on an application and the fingers of the holder pinType names.
template <typename Body> SKF_ULONG onFingers(HAPPLICATION handle, SKF_ULONG pinType, Body&& body) {
    return onApplication(handle, [&](LibraryState& state, Application& application, TokenRecord& token) -> SKF_ULONG {
        if (const SKF_ULONG refused = biometricsRefused(token); refused != SAR_OK)
            return refused;
        if (pinType != SKF_PIN_ADMIN && pinType != SKF_PIN_USER)
            return SAR_USER_TYPE_INVALID;
        return body(state, application, token, fingersOfType(pinType));
    });
}

std::vector<uint8_t> fingerList(FingerListForm form, const FingerRecord& fingers) {
    const std::vector<int> enrolled = enrolledFingers(fingers);
    if (form == FingerListForm::Identifiers || form == FingerListForm::Identifiers100) {
        std::vector<uint8_t> list(form == FingerListForm::Identifiers ? ShortFingerList : LongFingerList, 0);
        std::copy(enrolled.begin(), enrolled.end(), list.begin());
        return list;
    }
    std::vector<uint8_t> flags(ShortFingerList, 0);
    for (const int finger : enrolled)
        flags[size_t(finger - 1)] = 1;
    return flags;
}

} // namespace

VX_SKF_EXPORT SKF_ULONG SKF_InitializeFinger(HAPPLICATION handle, SKF_ULONG userRetryCount, SKF_ULONG adminRetryCount,
                                             SKF_ULONG userLevel, SKF_ULONG adminLevel) {
    return onApplication(handle, [&](LibraryState& state, Application& application, TokenRecord& token) -> SKF_ULONG {
        if (const SKF_ULONG refused = biometricsRefused(token); refused != SAR_OK)
            return refused;
        if (!holderProven(application, SKF_PIN_ADMIN))
            return SAR_USER_NOT_LOGGED_IN;
        const auto retriesFit = [](SKF_ULONG count) { return count >= 1 && count <= MostRetries; };
        if (!retriesFit(userRetryCount) || !retriesFit(adminRetryCount) || userLevel > HighestLevel ||
            adminLevel > HighestLevel)
            return SAR_INVALIDPARAMERR;
        // The enrolled fingers stay: this sets the rules they are checked by, and gives every try back.
        state.store->transaction([&] {
            token = state.store->existingToken(token.id);
            token.userFingers.retryMax = token.userFingers.retryLeft = int(userRetryCount);
            token.adminFingers.retryMax = token.adminFingers.retryLeft = int(adminRetryCount);
            token.userFingers.level = int(userLevel);
            token.adminFingers.level = int(adminLevel);
            state.store->updateToken(token);
        });
        return SAR_OK;
    });
}
static_assert(std::is_same_v<decltype(&SKF_InitializeFinger), SKF_InitializeFinger_t>);

VX_SKF_EXPORT SKF_ULONG SKF_EnrollFingerInit(HAPPLICATION handle, SKF_ULONG pinType, SKF_ULONG finger) {
    return onFingers(
        handle, pinType,
        [&](LibraryState& state, Application& application, TokenRecord& token,
            FingerRecord TokenRecord::*holder) -> SKF_ULONG {
            if (!holderProven(application, pinType))
                return SAR_USER_NOT_LOGGED_IN;
            if (!isFingerNumber(finger))
                return SAR_INVALIDPARAMERR;
            const FingerRecord& fingers = token.*holder;
            if (isEnrolled(fingers, int(finger)))
                return SAR_FINGER_EXIST;
            if (fingers.retryLeft <= 0)
                return SAR_PIN_LOCKED;
            application.enrolments[pinType] = Enrolment{int(finger), samplesPerEnrolment(state, token.id), 0};
            return SAR_OK;
        });
}
static_assert(std::is_same_v<decltype(&SKF_EnrollFingerInit), SKF_EnrollFingerInit_t>);

// A sample of any finger not yet enrolled counts: the sensor cannot tell which finger of the hand it sees. The
// enrolment ends on a sample the sensor could not take and on a finger enrolled already; a retry starts anew.
VX_SKF_EXPORT SKF_ULONG SKF_EnrollFinger(HAPPLICATION handle, SKF_ULONG pinType, SKF_ULONG finger,
                                         SKF_ULONG* progress) {
    return onFingers(handle, pinType,
                     [&](LibraryState& state, Application& application, TokenRecord& token,
                         FingerRecord TokenRecord::*holder) -> SKF_ULONG {
                         if (!progress)
                             return SAR_INVALIDPARAMERR;
                         std::optional<Enrolment>& enrolment = application.enrolments[pinType];
                         if (!enrolment || SKF_ULONG(enrolment->finger) != finger)
                             return SAR_FAIL;
                         *progress = SKF_ULONG(enrolment->progress);
                         if (!sensorHasInput(*state.store, token))
                             return SAR_FINGER_CONTINUE;
                         SKF_ULONG rv = SAR_FINGER_CONTINUE;
                         bool accepted = false;
                         state.store->transaction([&] {
                             token = state.store->existingToken(token.id);
                             FingerRecord& fingers = token.*holder;
                             const std::optional<SensorEvent> event =
                                 readSensor(*state.store, token, enrolment->finger);
                             if (!event || event->kind == SensorEvent::Away)
                                 return;
                             if (event->kind == SensorEvent::Fail) {
                                 rv = SAR_FINGER_CAPTURE_FAILED;
                                 return;
                             }
                             if (isEnrolled(fingers, event->finger)) {
                                 rv = SAR_FINGER_EXIST;
                                 return;
                             }
                             accepted = true;
                             if (enrolment->progress + 1 < enrolment->samples)
                                 return;
                             setEnrolled(fingers, enrolment->finger, true);
                             state.store->updateToken(token);
                             rv = SAR_OK;
                         });
                         // Changed only once the store has taken the sample, so a failing store leaves the enrolment
                         // where it was.
                         if (accepted)
                             *progress = SKF_ULONG(++enrolment->progress);
                         if (rv != SAR_FINGER_CONTINUE)
                             enrolment.reset();
                         return rv;
                     });
}
static_assert(std::is_same_v<decltype(&SKF_EnrollFinger), SKF_EnrollFinger_t>);

VX_SKF_EXPORT SKF_ULONG SKF_VerifyFingerInit(HAPPLICATION handle, SKF_ULONG pinType) {
    return onFingers(handle, pinType,
                     [&](LibraryState&, Application& application, TokenRecord& token,
                         FingerRecord TokenRecord::*holder) -> SKF_ULONG {
                         const FingerRecord& fingers = token.*holder;
                         if (fingers.retryLeft <= 0)
                             return SAR_PIN_LOCKED;
                         if (enrolledFingers(fingers).empty())
                             return SAR_FINGER_NOT_EXIST;
                         application.testing[pinType] = true;
                         return SAR_OK;
                     });
}
static_assert(std::is_same_v<decltype(&SKF_VerifyFingerInit), SKF_VerifyFingerInit_t>);

// A test tells which finger is on the sensor and logs nobody in, so a finger not enrolled counts no retry. Any answer
// but SAR_FINGER_CONTINUE ends the test.
VX_SKF_EXPORT SKF_ULONG SKF_TestFinger(HAPPLICATION handle, SKF_ULONG pinType, SKF_ULONG* finger) {
    return onFingers(handle, pinType,
                     [&](LibraryState& state, Application& application, TokenRecord& token,
                         FingerRecord TokenRecord::*holder) -> SKF_ULONG {
                         if (!finger)
                             return SAR_INVALIDPARAMERR;
                         if (!application.testing[pinType])
                             return SAR_FAIL;
                         const std::vector<int> enrolled = enrolledFingers(token.*holder);
                         if (!sensorHasInput(*state.store, token))
                             return SAR_FINGER_CONTINUE;
                         const std::optional<SensorEvent> event =
                             readSensor(*state.store, token, enrolled.empty() ? 0 : enrolled[0]);
                         if (!event || event->kind == SensorEvent::Away)
                             return SAR_FINGER_CONTINUE;
                         application.testing[pinType] = false;
                         if (event->kind == SensorEvent::Fail)
                             return SAR_FINGER_CAPTURE_FAILED;
                         if (!isEnrolled(token.*holder, event->finger))
                             return SAR_FINGER_NOT_EXIST;
                         if (event->kind == SensorEvent::Unbound)
                             return SAR_FINGER_NO_CERT;
                         *finger = SKF_ULONG(event->finger);
                         return SAR_OK;
                     });
}
static_assert(std::is_same_v<decltype(&SKF_TestFinger), SKF_TestFinger_t>);

VX_SKF_EXPORT SKF_ULONG SKF_DeleteFinger(HAPPLICATION handle, SKF_ULONG pinType, SKF_ULONG finger) {
    return onFingers(handle, pinType,
                     [&](LibraryState& state, Application& application, TokenRecord& token,
                         FingerRecord TokenRecord::*holder) -> SKF_ULONG {
                         if (!holderProven(application, pinType))
                             return SAR_USER_NOT_LOGGED_IN;
                         if (!isFingerNumber(finger))
                             return SAR_INVALIDPARAMERR;
                         SKF_ULONG rv = SAR_OK;
                         state.store->transaction([&] {
                             token = state.store->existingToken(token.id);
                             FingerRecord& fingers = token.*holder;
                             if (!isEnrolled(fingers, int(finger))) {
                                 rv = SAR_FINGER_NOT_EXIST;
                                 return;
                             }
                             setEnrolled(fingers, int(finger), false);
                             state.store->updateToken(token);
                         });
                         return rv;
                     });
}
static_assert(std::is_same_v<decltype(&SKF_DeleteFinger), SKF_DeleteFinger_t>);

VX_SKF_EXPORT SKF_ULONG SKF_GetFingerInfo(HAPPLICATION handle, SKF_ULONG pinType, SKF_ULONG* maximumRetries,
                                          SKF_ULONG* level, SKF_ULONG* samples, SKF_ULONG* retriesLeft, uint8_t* list,
                                          SKF_ULONG* listLength) {
    return onFingers(
        handle, pinType,
        [&](LibraryState& state, Application&, TokenRecord& token, FingerRecord TokenRecord::*holder) -> SKF_ULONG {
            if (!maximumRetries || !level || !samples || !retriesLeft)
                return SAR_INVALIDPARAMERR;
            const FingerRecord& fingers = token.*holder;
            if (const SKF_ULONG rv = returnBytes(fingerList(token.fingerList, fingers), list, listLength); rv != SAR_OK)
                return rv;
            *maximumRetries = SKF_ULONG(fingers.retryMax);
            *level = SKF_ULONG(fingers.level);
            *samples = SKF_ULONG(samplesPerEnrolment(state, token.id));
            *retriesLeft = SKF_ULONG(std::max(0, fingers.retryLeft));
            return SAR_OK;
        });
}
static_assert(std::is_same_v<decltype(&SKF_GetFingerInfo), SKF_GetFingerInfo_t>);

// The administrator may give the user's fingers their tries back; only the administrator gives back their own.
VX_SKF_EXPORT SKF_ULONG SKF_UnblockFinger(HAPPLICATION handle, SKF_ULONG pinType) {
    return onFingers(handle, pinType,
                     [&](LibraryState& state, Application& application, TokenRecord& token,
                         FingerRecord TokenRecord::*holder) -> SKF_ULONG {
                         const bool allowed = holderProven(application, SKF_PIN_ADMIN) ||
                                              (pinType == SKF_PIN_USER && holderProven(application, SKF_PIN_USER));
                         if (!allowed)
                             return SAR_USER_NOT_LOGGED_IN;
                         state.store->transaction([&] {
                             token = state.store->existingToken(token.id);
                             FingerRecord& fingers = token.*holder;
                             fingers.retryLeft = fingers.retryMax;
                             state.store->updateToken(token);
                         });
                         return SAR_OK;
                     });
}
static_assert(std::is_same_v<decltype(&SKF_UnblockFinger), SKF_UnblockFinger_t>);
