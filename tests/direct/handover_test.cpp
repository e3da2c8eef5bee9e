// Handing the station's answer to the dialog: what the window receives, and nothing lost or leaked
// when a step fails.
#include "serial/AnswerHandover.h"

#include "shell/LinkMessages.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

int g_allocs, g_frees;
bool g_failAlloc, g_failPost;

HLOCAL WINAPI CountingAlloc(UINT flags, SIZE_T bytes) {
    if (g_failAlloc)
        return nullptr;
    ++g_allocs;
    return LocalAlloc(flags, bytes);
}
HLOCAL WINAPI CountingFree(HLOCAL block) {
    ++g_frees;
    return LocalFree(block);
}
BOOL WINAPI MaybePost(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_failPost) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return FALSE;
    }
    return PostMessageA(window, message, wParam, lParam);
}

struct Window {
    HWND hwnd =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ~Window() { DestroyWindow(hwnd); }
};

TEST(DirectHandover, PostsACopyOrReportsWhyNot) {
    struct Case {
        const char* name;
        bool failAlloc, failPost;
        int32_t result;
        bool posted;
    } cases[] = {
        {"posted", false, false, 0, true},
        {"no memory", true, false, -9, false},
        {"window gone", false, true, -22, false},
    };
    const std::vector<uint8_t> answer = {0x06, 0x10, 0x00, 0x06};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Window w;
        ASSERT_NE(w.hwnd, nullptr);
        g_allocs = g_frees = 0;
        g_failAlloc = c.failAlloc;
        g_failPost = c.failPost;
        HandoverCalls calls;
        calls.localAlloc = CountingAlloc;
        calls.localFree = CountingFree;
        calls.postMessage = MaybePost;

        EXPECT_EQ(HandOverAnswer(w.hwnd, answer.data(), 4, LinkBlockTag{7, 1}, calls), c.result);

        MSG msg;
        const bool got = PeekMessageA(&msg, w.hwnd, WM_REMOTE_DATA, WM_REMOTE_DATA, PM_REMOVE);
        EXPECT_EQ(got, c.posted);
        if (got) {
            ASSERT_EQ(msg.wParam, 4u);
            auto* block = reinterpret_cast<uint8_t*>(msg.lParam);
            EXPECT_EQ(std::vector<uint8_t>(block, block + 4), answer);
            EXPECT_EQ(LocalFree(reinterpret_cast<HLOCAL>(block)), nullptr);
        } else {
            EXPECT_EQ(g_allocs, g_frees); // nothing left behind
        }
    }
}

} // namespace
