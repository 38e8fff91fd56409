#pragma once

#include <QString>

// Asks the person at the controlling terminal (a console on Windows) for the
// units' password without showing what is typed. One implementation per
// platform (passwordprompt_posix.cpp, passwordprompt_win.cpp).
//
// Ctrl-C at the prompt ends the program with the terminal's echo back on and
// status 130 for the calling shell (on POSIX by dying of the signal itself).
namespace PasswordPrompt {

constexpr const char kText[] = "Password for the units: ";

enum Outcome { Obtained, NoTerminal, Cancelled };

Outcome ask(QString *password);

} // namespace PasswordPrompt
