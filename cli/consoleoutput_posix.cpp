#include "cli/consoleoutput.h"

#include <csignal>
#include <sys/ioctl.h>
#include <unistd.h>

ConsoleOutput::ConsoleOutput()
{
    std::signal(SIGPIPE, SIG_IGN);
    if (!::isatty(STDOUT_FILENO))
        return;
    m_kind = Terminal;
    struct winsize size = {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        m_columns = size.ws_col;
}

ConsoleOutput::~ConsoleOutput() = default;

void ConsoleOutput::restore() { }
