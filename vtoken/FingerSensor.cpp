#include "vtoken/FingerSensor.h"

namespace vtoken {
namespace {

uint32_t fingerBit(int finger) {
    return uint32_t(1) << (finger - 1);
}

// Locked or NotEnrolled when no finger can log the holder in.
std::optional<FingerLogin> loginImpossible(const FingerRecord& fingers) {
    if (fingers.retryLeft <= 0)
        return FingerLogin::Locked;
    if (enrolledFingers(fingers).empty())
        return FingerLogin::NotEnrolled;
    return std::nullopt;
}

} // namespace

bool isFingerNumber(int64_t finger) {
    return finger >= 1 && finger <= FingerCount;
}

bool isEnrolled(const FingerRecord& fingers, int finger) {
    return isFingerNumber(finger) && (fingers.enrolled & fingerBit(finger));
}

void setEnrolled(FingerRecord& fingers, int finger, bool enrolled) {
    if (enrolled)
        fingers.enrolled |= fingerBit(finger);
    else
        fingers.enrolled &= ~fingerBit(finger);
}

std::vector<int> enrolledFingers(const FingerRecord& fingers) {
    std::vector<int> found;
    for (int finger = 1; finger <= FingerCount; ++finger)
        if (isEnrolled(fingers, finger))
            found.push_back(finger);
    return found;
}

FingerListForm defaultFingerList(SensorKind sensor) {
    return sensor == SensorKind::FingerVein ? FingerListForm::Identifiers : FingerListForm::Flags;
}

bool sensorHasInput(Store& store, const TokenRecord& token) {
    return token.sensorAuto || store.sensorEventCount(token.id) > 0;
}

std::optional<SensorEvent> readSensor(Store& store, const TokenRecord& token, int expectedFinger) {
    if (std::optional<SensorEvent> event = store.takeSensorEvent(token.id))
        return event;
    if (token.sensorAuto && expectedFinger != 0)
        return SensorEvent{SensorEvent::Present, expectedFinger};
    return std::nullopt;
}

FingerLogin lookForLoginFinger(Store& store, int64_t tokenId, FingerRecord TokenRecord::*holder) {
    TokenRecord token = store.existingToken(tokenId);
    if (const auto refused = loginImpossible(token.*holder))
        return *refused;
    if (!sensorHasInput(store, token))
        return FingerLogin::Waiting;
    FingerLogin outcome = FingerLogin::Waiting;
    store.transaction([&] {
        // Read again under the write lock: another process may have spent or restored the counter meanwhile.
        token = store.existingToken(tokenId);
        FingerRecord& fingers = token.*holder;
        if (const auto refused = loginImpossible(fingers)) {
            outcome = *refused;
            return;
        }
        const std::optional<SensorEvent> event = readSensor(store, token, enrolledFingers(fingers).front());
        if (!event || event->kind == SensorEvent::Away)
            return;
        if (event->kind == SensorEvent::Fail) {
            outcome = FingerLogin::CaptureFailed;
            return;
        }
        if (isEnrolled(fingers, event->finger)) {
            if (fingers.retryLeft != fingers.retryMax) {
                fingers.retryLeft = fingers.retryMax;
                store.updateToken(token);
            }
            outcome = FingerLogin::Matched;
            return;
        }
        --fingers.retryLeft;
        store.updateToken(token);
        outcome = fingers.retryLeft <= 0 ? FingerLogin::Locked : FingerLogin::NotMatched;
    });
    return outcome;
}

void forgetFingers(TokenRecord& token) {
    for (FingerRecord* fingers : {&token.userFingers, &token.adminFingers}) {
        fingers->enrolled = 0;
        fingers->retryLeft = fingers->retryMax;
    }
}

} // namespace vtoken
