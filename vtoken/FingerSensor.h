#pragma once

#include "vtoken/Store.h"

#include <optional>
#include <vector>

namespace vtoken {

// Fingers are numbered 1 to 10.
inline constexpr int FingerCount = 10;

bool isFingerNumber(int64_t finger);
bool isEnrolled(const FingerRecord& fingers, int finger);
void setEnrolled(FingerRecord& fingers, int finger, bool enrolled);
// In ascending order.
std::vector<int> enrolledFingers(const FingerRecord& fingers);

// Fingerprint sensors list their fingers as flags, finger-vein sensors by number.
FingerListForm defaultFingerList(SensorKind sensor);

// True when a look at the sensor would see something: a queued event, or auto mode. It only reads, so a caller
// polling an idle sensor never waits for the store's write lock.
bool sensorHasInput(Store& store, const TokenRecord& token);

// One look at the token's sensor: its oldest queued event, taken off the queue. With none queued and auto mode on,
// the sensor sees expectedFinger put on it (none when 0); otherwise it sees nothing.
std::optional<SensorEvent> readSensor(Store& store, const TokenRecord& token, int expectedFinger);

// What one look at the sensor made of a login by finger.
enum class FingerLogin {
    Waiting,       // no finger yet, or one lifted
    Matched,       // an enrolled finger: the retry counter is restored
    NotMatched,    // a finger not enrolled: a retry was counted
    Locked,        // the retry counter is spent, before this look or by it
    NotEnrolled,   // the holder has no finger enrolled
    CaptureFailed, // the sensor could not take the finger; no retry counted
};

// One look at the sensor for a login with one holder's fingers (the user's or the administrator's); takes at most
// one event. With auto mode on, the holder's lowest enrolled finger is the one presented.
FingerLogin lookForLoginFinger(Store& store, int64_t tokenId, FingerRecord TokenRecord::*holder);

// A token initialized anew belongs to a new holder: neither holder keeps a finger, and both counters start over.
void forgetFingers(TokenRecord& token);

} // namespace vtoken
