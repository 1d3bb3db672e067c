// The message-box hook: default answer without a handler, and handler replacement.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/ui/MessageBox.h"

using namespace QVO::Platform::UI;

namespace {

TEST(ComMessageBox, WithoutHandlerWritesToStderrAndAnswersOk) {
    SetMessageBoxHandler(nullptr);
    testing::internal::CaptureStderr();
    int answer = MessageBox(L"Paper out \u00e9", L"Health", MessageBoxButtons::YesNo);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(err, "Health: Paper out \xc3\xa9\n");
}

TEST(ComMessageBox, InstalledHandlerAnswersAndCanBeReplaced) {
    std::wstring seenText, seenCaption;
    MessageBoxButtons seenButtons = MessageBoxButtons::Ok;
    SetMessageBoxHandler([&](const std::wstring& text, const std::wstring& caption, MessageBoxButtons buttons) {
        seenText = text;
        seenCaption = caption;
        seenButtons = buttons;
        return IDNO;
    });
    EXPECT_EQ(MessageBox(L"Delete?", L"Confirm", MessageBoxButtons::YesNo), IDNO);
    EXPECT_EQ(seenText, L"Delete?");
    EXPECT_EQ(seenCaption, L"Confirm");
    EXPECT_EQ(seenButtons, MessageBoxButtons::YesNo);

    MessageBoxHandler previous = SetMessageBoxHandler([](auto&, auto&, auto) { return IDCANCEL; });
    ASSERT_TRUE(previous);
    EXPECT_EQ(previous(L"", L"", MessageBoxButtons::Ok), IDNO);
    EXPECT_EQ(MessageBox(L"x", L"y", MessageBoxButtons::OkCancel), IDCANCEL);
    SetMessageBoxHandler(nullptr);
}

TEST(ComMessageBox, ReplacingTheHandlerWhileBoxesAreShownIsSafe) {
    // Under TSan this catches an unguarded handler; elsewhere a torn std::function would crash.
    std::atomic<bool> stop{false};
    std::thread installer([&] {
        for (int i = 0; !stop; ++i) SetMessageBoxHandler([i](auto&, auto&, auto) { return i % 2 ? IDYES : IDNO; });
    });
    int answers = 0;
    for (int i = 0; i < 2000; ++i) {
        int a = MessageBox(L"t", L"c", MessageBoxButtons::YesNo);
        answers += (a == IDYES || a == IDNO || a == IDOK);
    }
    stop = true;
    installer.join();
    SetMessageBoxHandler(nullptr);
    EXPECT_EQ(answers, 2000);
}

}  // namespace
