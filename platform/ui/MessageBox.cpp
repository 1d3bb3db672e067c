// The message-box hook: the installed handler, or stderr and IDOK.
#include "platform/ui/MessageBox.h"

#include <cstdio>
#include <memory>
#include <utility>

#include "platform/sync/Mutex.h"
#include "platform/text/TextConv.h"

namespace QVO::Platform::UI {

namespace {

// Innermost: held only to swap or copy the pointer, never while a handler runs.
Mutex g_mutex;
// Shared so a box in progress keeps its handler alive while another thread replaces it.
std::shared_ptr<const MessageBoxHandler> g_handler QUVO_GUARDED_BY(g_mutex);

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    auto next = handler ? std::make_shared<const MessageBoxHandler>(std::move(handler)) : nullptr;
    std::shared_ptr<const MessageBoxHandler> previous;
    {
        MutexLock lock(g_mutex);
        previous = std::exchange(g_handler, std::move(next));
    }
    return previous ? *previous : MessageBoxHandler{};
}

int MessageBox(const std::wstring& text, const std::wstring& caption, MessageBoxButtons buttons) {
    std::shared_ptr<const MessageBoxHandler> handler;
    {
        MutexLock lock(g_mutex);
        handler = g_handler;
    }
    // The handler runs outside the lock: it may block on the user, or install another one.
    if (handler) return (*handler)(text, caption, buttons);
    std::string line = Text::WideToUtf8(caption) + ": " + Text::WideToUtf8(text) + "\n";
    std::fputs(line.c_str(), stderr);
    return IDOK;
}

}  // namespace QVO::Platform::UI
