#pragma once

// What kvx-update's standard output is, and the set-up it needs, for the
// lifetime of the object. One implementation per platform
// (consoleoutput_posix.cpp, consoleoutput_win.cpp):
//
// POSIX: a terminal when isatty() says so, its width from the terminal; a
// reader that goes away (a pipe into "head", a closed remote shell) no longer
// ends the program with SIGPIPE: the write fails and the updates go on.
//
// Windows: a console when it has a console mode. Its escape sequences are
// switched on where the console has them (Windows 10 and later); an older
// console, which would print them as text, gets the plain time-stamped lines.
// Output is UTF-8 and written as is, without the C library turning "\n" into
// "\r\n", so every platform writes the same bytes. The console's settings are
// put back when the object goes.
class ConsoleOutput
{
public:
    enum Kind {
        Stream, // a file or a pipe
        PlainConsole, // a console without cursor movement
        Terminal, // a terminal or console that takes escape sequences
    };

    ConsoleOutput();
    ~ConsoleOutput();
    ConsoleOutput(const ConsoleOutput &) = delete;
    ConsoleOutput &operator=(const ConsoleOutput &) = delete;

    // Puts the console's settings back now, once: for a program that ends
    // without unwinding (ExitProcess after Ctrl-C at the password prompt).
    // Safe from any thread; nothing on POSIX, where nothing was changed.
    static void restore();

    Kind kind() const { return m_kind; }
    // Columns of the terminal or console; 80 when it does not say.
    int columns() const { return m_columns; }

private:
    Kind m_kind = Stream;
    int m_columns = 80;
};
