#include "vtoken/FingerCommand.h"

#include "vtoken/FingerSensor.h"
#include "vtoken/TokenCommands.h"

#include <optional>
#include <utility>

namespace vtoken {
namespace {

constexpr std::string_view Hint = " (try 'vtoken finger --help')";

bool parseOnOff(std::string_view text) {
    if (text == "on")
        return true;
    if (text == "off")
        return false;
    throw UsageError("finger: auto '" + printable(text) + "' is neither on nor off");
}

// The events that name a finger, and how each is spelled.
constexpr std::pair<std::string_view, SensorEvent::Kind> FingerEvents[] = {{"present", SensorEvent::Present},
                                                                           {"unbound", SensorEvent::Unbound}};
constexpr std::pair<std::string_view, SensorEvent::Kind> BareEvents[] = {{"fail", SensorEvent::Fail},
                                                                         {"away", SensorEvent::Away}};

int runFinger(const Arguments& arguments) {
    const std::vector<std::string>& words = arguments.positional();
    const std::string_view what = words[1];
    const std::optional<std::string> value = words.size() > 2 ? std::optional(words[2]) : std::nullopt;
    std::optional<SensorEvent> event;
    std::optional<bool> autoMode;
    const bool clear = what == "clear";
    for (const auto& [name, kind] : FingerEvents)
        if (what == name) {
            if (!value)
                throw UsageError("finger: " + std::string(name) + " needs a finger number, 1 to 10" +
                                 std::string(Hint));
            event = SensorEvent{kind, int(parseNumber(name, *value, 1, FingerCount))};
        }
    for (const auto& [name, kind] : BareEvents)
        if (what == name)
            event = SensorEvent{kind, 0};
    if (what == "auto") {
        if (!value)
            throw UsageError("finger: auto needs on or off" + std::string(Hint));
        autoMode = parseOnOff(*value);
    } else if (!event && !clear) {
        throw UsageError("finger: unknown event '" + printable(what) + "'" + std::string(Hint));
    } else if (value && (clear || event->finger == 0)) {
        throw UsageError("finger: unexpected argument '" + printable(*value) + "'" + std::string(Hint));
    }

    auto store = openStore();
    store->transaction([&] {
        TokenRecord token = requireToken(*store, words[0]);
        if (token.sensor == SensorKind::None)
            throw CommandFailure("token " + printable(token.serial) + " has no sensor");
        if (clear) {
            store->clearSensorEvents(token.id);
        } else if (event) {
            store->queueSensorEvent(token.id, *event);
        } else {
            token.sensorAuto = *autoMode;
            store->updateToken(token);
        }
    });
    return 0;
}

constexpr std::string_view FingerHelp = R"(Usage: vtoken finger SERIAL EVENT

Queues what the token's sensor sees next, for whichever program looks at the sensor next. The token must have a
sensor.

Events:
  present N     finger N, 1 to 10, is put on the sensor
  unbound N     finger N is put on the sensor, and the token finds it bound to no certificate: a finger test
                answers SAR_FINGER_NO_CERT for it when it is enrolled; an enrolment and a login take it as present N
  fail          the sensor cannot take the finger
  away          the finger is lifted: the look that takes it sees nothing
  clear         drops every event queued for the token
  auto on|off   with nothing queued, the sensor sees the finger expected: the one being enrolled, or the holder's
                lowest enrolled finger (for demos; off by default)

The queue's rules:
  - Only a look at the sensor takes an event, the oldest first, one per look: one SKF_EnrollFinger call of an
    enrolment, one SKF_TestFinger call of a finger test or a study pass, one look of the PKCS#11 module's login
    by finger. The manager's enrolment, test and study dialogs look every 200 ms while they wait, a login by
    finger every 50 ms for at most 10 seconds (with nothing seen by then it fails as a finger the sensor could not
    take); nothing else reads the queue, and a queued event never expires.
  - An enrolment counts a sample of any finger not enrolled yet, as a real sensor cannot tell the fingers of a
    hand apart; it ends on fail, and on an enrolled finger with SAR_FINGER_EXIST.
  - Events outlive the dialog they were meant for. A dialog closed, or an enrolment ended, before it took them
    leaves them for the next look, whichever program or dialog makes it. So a "present 3" left over once finger 3
    is enrolled makes the next enrolment of another finger end at its first look with SAR_FINGER_EXIST.
    'vtoken show SERIAL' tells how many events are queued; 'clear' drops them.
  - Queueing never waits for a dialog: a dialog holds the store only for the instant of each look.
)";

constexpr Command Finger = {"finger", FingerHelp, {}, 2, "SERIAL and an event", runFinger, 1};

} // namespace

const Command& fingerCommand() {
    return Finger;
}

} // namespace vtoken
