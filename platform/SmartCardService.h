#pragma once

#include <QString>

// The smart-card service of this workstation, as the system check reports it: pcscd and its CCID driver.
namespace SmartCardService {

// Whether pcscd answers on its socket ($PCSCLITE_CSOCK_NAME, else /run/pcscd/pcscd.comm). A service that systemd
// starts on demand counts as running once its socket is listening.
bool running();

// The version of the CCID driver that pcscd loads (its bundle's CFBundleShortVersionString); empty when none is
// installed.
QString ccidVersion();

} // namespace SmartCardService
