#include "vtoken/FingerCommand.h"

#include "vtoken/FingerSensor.h"
#include "vtoken/TokenCommands.h"

#include <optional>

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

int runFinger(const Arguments& arguments) {
    const std::vector<std::string>& words = arguments.positional();
    const std::string_view what = words[1];
    const std::optional<std::string> value = words.size() > 2 ? std::optional(words[2]) : std::nullopt;
    std::optional<SensorEvent> event;
    std::optional<bool> autoMode;
    if (what == "present") {
        if (!value)
            throw UsageError("finger: present needs a finger number, 1 to 10" + std::string(Hint));
        event = SensorEvent{SensorEvent::Present, int(parseNumber("present", *value, 1, FingerCount))};
    } else if (what == "fail" || what == "away") {
        if (value)
            throw UsageError("finger: unexpected argument '" + printable(*value) + "'" + std::string(Hint));
        event = SensorEvent{what == "fail" ? SensorEvent::Fail : SensorEvent::Away, 0};
    } else if (what == "auto") {
        if (!value)
            throw UsageError("finger: auto needs on or off" + std::string(Hint));
        autoMode = parseOnOff(*value);
    } else {
        throw UsageError("finger: unknown event '" + printable(what) + "'" + std::string(Hint));
    }

    auto store = openStore();
    store->transaction([&] {
        TokenRecord token = requireToken(*store, words[0]);
        if (token.sensor == SensorKind::None)
            throw CommandFailure("token " + printable(token.serial) + " has no sensor");
        if (event) {
            store->queueSensorEvent(token.id, *event);
        } else {
            token.sensorAuto = *autoMode;
            store->updateToken(token);
        }
    });
    return 0;
}

constexpr std::string_view FingerHelp = R"(Usage: vtoken finger SERIAL EVENT

Queues what the token's sensor sees next, for whichever program reads the sensor: the PKCS#11 module during a login
by finger, the SKF library during an enrolment or a finger test. Each look at the sensor takes one event, oldest
first. The token must have a sensor.

Events:
  present N     finger N, 1 to 10, is put on the sensor
  fail          the sensor cannot take the finger
  away          the finger is lifted
  auto on|off   with nothing queued, the sensor sees the finger expected: the one being enrolled, or the holder's
                lowest enrolled finger (for demos; off by default)
)";

constexpr Command Finger = {"finger", FingerHelp, {}, 2, "SERIAL and an event", runFinger, 1};

} // namespace

const Command& fingerCommand() {
    return Finger;
}

} // namespace vtoken
