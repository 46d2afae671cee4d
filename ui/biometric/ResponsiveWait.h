#pragma once

#include <functional>

// The wait of the biometric dialogs while they poll the sensor: milliseconds / 10 steps of 10 ms, the window's
// events processed after each, so that it repaints and its timers run. Tests put a wait of their own in its place.
namespace ResponsiveWait {

void wait(int milliseconds);
// Replaces the wait (an empty function restores the real one).
void setForTests(std::function<void(int milliseconds)> replacement);

} // namespace ResponsiveWait
