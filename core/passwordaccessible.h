#pragma once

// Qt Quick gives a text field's text to accessibility clients as its value
// and through its text interface, password fields included: UI automation
// and screen readers could read the password, and while a typed character
// is still shown, that character. install() puts a guard in front of every
// Qt Quick text input: while the input masks what it holds (any echo mode
// but Normal), the value is empty and there is no text to read; otherwise
// the input is exposed as Qt makes it.
namespace PasswordAccessible {

// Once, after the application object exists and before any window.
void install();

} // namespace PasswordAccessible
