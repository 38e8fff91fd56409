#include "cli/passwordsource.h"

#include "cli/passwordprompt.h"

#include <QtGlobal>

PasswordSource::Outcome PasswordSource::obtain(QString *password)
{
    if (qEnvironmentVariableIsSet(kVariable)) {
        *password = qEnvironmentVariable(kVariable);
        return Obtained;
    }
    switch (PasswordPrompt::ask(password)) {
    case PasswordPrompt::Obtained:
        return Obtained;
    case PasswordPrompt::NoTerminal:
        return NoTerminal;
    case PasswordPrompt::Cancelled:
        break;
    }
    return Cancelled;
}
