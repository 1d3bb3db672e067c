// The one place where the system asks the user something: a message-box hook that the
// application fills in (the utility with a dialog, the command line with a prompt).
//
// Thread safety: the handler may be installed, replaced and used from any thread; a box shown
// while the handler is being replaced uses either the old or the new one, completely.
#pragma once

#include <functional>
#include <string>

namespace QVO::Platform::UI {

enum class MessageBoxButtons { Ok, OkCancel, YesNo };

// The answers, with their Windows values.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows `text` under `caption` and returns the button pressed (IDOK, IDCANCEL, IDYES, IDNO).
using MessageBoxHandler =
    std::function<int(const std::wstring& text, const std::wstring& caption, MessageBoxButtons buttons)>;

// Installs `handler` (an empty one removes it) and returns the one it replaces.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Asks through the installed handler. Without one the caption and text are written to stderr
// and the answer is IDOK, whatever the buttons, so unattended runs never block.
int MessageBox(const std::wstring& text, const std::wstring& caption,
               MessageBoxButtons buttons = MessageBoxButtons::Ok);

}  // namespace QVO::Platform::UI
