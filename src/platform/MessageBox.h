#pragma once
#include <functional>
#include <string>
#include <vector>

namespace platform {

// Button and icon flags and answers, with the Win32 values.
// (Own names, so that this header can sit beside <windows.h>, whose macros
// take the Win32 names.)
constexpr unsigned kMbOk = 0x0000;
constexpr unsigned kMbOkCancel = 0x0001;
constexpr unsigned kMbYesNo = 0x0004;
constexpr unsigned kMbIconError = 0x0010;
constexpr unsigned kMbIconQuestion = 0x0020;
constexpr unsigned kMbIconWarning = 0x0030;
constexpr unsigned kMbIconInformation = 0x0040;

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Shows a modal message box and returns the button pressed. Any thread may
// call it; the call blocks until the box is answered. The program installs
// a handler that shows the box on the UI thread; without one, the text goes
// to standard error and the answer is kIdOk. A thread whose stop was
// requested (CurrentStopSignal) gets DefaultAnswer without waiting: a
// blocking handler is not called (the box would keep the thread's joiner
// waiting), one that never blocks (a log) still is, and the comm log notes
// the box either way, so a failure at exit is never lost without a trace.
int ShowMessageBox(const std::string& caption, const std::string& text, unsigned type);

// The answer of a box's first button (OK or Yes): what a box that gives way
// to a stop request counts as.
int DefaultAnswer(unsigned type);

using MessageBoxHandler = std::function<int(const std::string& caption, const std::string& text, unsigned type)>;
// bBlocks: the handler waits for an operator's answer (a window's box);
// false for one that answers at once (the service's log).
void SetMessageBoxHandler(MessageBoxHandler handler, bool bBlocks = true);

// Records every box shown while it lives and answers each with `answer`.
class CMessageBoxRecorder {
public:
    struct Box {
        std::string caption;
        std::string text;
        unsigned type = 0;
    };

    explicit CMessageBoxRecorder(int answer = kIdOk);
    ~CMessageBoxRecorder();
    CMessageBoxRecorder(const CMessageBoxRecorder&) = delete;
    CMessageBoxRecorder& operator=(const CMessageBoxRecorder&) = delete;

    std::vector<Box> Boxes() const;
    std::size_t Count() const;
    void SetAnswer(int answer);

private:
    struct State;
    State* m_pState;
};

} // namespace platform
