// What every form shares: wide text to Qt and back, captions from Language.ini, and messages
// through the platform's message-box hook.
#pragma once

#include <QString>
#include <string>

#include "platform/ui/MessageBox.h"
#include "setup/core/SetupData.h"

namespace QVO::Setup::Forms {

inline QString Q(const std::wstring& text) { return QString::fromStdWString(text); }
inline std::wstring W(const QString& text) { return text.toStdWString(); }

// A caption of the chosen language; a missing text is empty, as the language file says.
inline QString Caption(const SetupContext& context, const wchar_t* key) { return Q(context.texts.Text(key)); }

// Shows a Language.ini message (or plain text) under "_MSG_Title".
void ShowMessage(const SetupContext& context, const std::wstring& text);
int AskOkCancel(const SetupContext& context, const std::wstring& text);
void ShowKey(const SetupContext& context, const std::wstring& key);

// The Qt answer to the message-box hook: information boxes for OK, questions with Cancel as
// the default for OK/Cancel and Yes/No. Installed by main and by the form tests that watch.
void InstallQtMessageBoxes();

}  // namespace QVO::Setup::Forms
