#pragma once

#include <QString>

// Where kvx-update gets the units' password: the environment variable
// KVX_PASSWORD when it is set (even empty), otherwise a prompt on the
// controlling terminal with echo switched off (PasswordPrompt). The password
// is only ever handed to the device table; it is never printed or logged.
namespace PasswordSource {

enum Outcome { Obtained, NoTerminal, Cancelled };

constexpr const char *kVariable = "KVX_PASSWORD";

Outcome obtain(QString *password);

} // namespace PasswordSource
