// Every message box of the program opens through here, so that a run nobody watches can log
// what each box says and close the boxes still open when it ends.
#pragma once
#include <windows.h>
#include <string>

// Told about the program's boxes; installed by the main dialog while it runs.
class BoxWatcher {
  public:
    virtual ~BoxWatcher() = default;
    // A box is about to open with this caption and text.
    virtual void BoxOpened(const char* caption, const std::string& text) = 0;
    // True once nobody can be there to answer: a box that opens then is closed at once.
    virtual bool AnswerBoxesAtOnce() const = 0;
};
void SetBoxWatcher(BoxWatcher* watcher);

// MessageBoxA for the program's own boxes: same arguments and answer.
int AppBox(HWND owner, const std::string& text, const char* caption, UINT flags);

// Closes every box of the program that is open on this thread, the newest first, each with the
// answer that declines or, without one, its only answer: Cancel, No, Abort or OK. Each box then
// returns that answer to the code that opened it, as if a person had chosen it.
void AnswerOpenBoxes();
