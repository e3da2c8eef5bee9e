// UI driver: works another program's dialogs from outside, one command per stdin line, one answer
// per stdout line.
#include "tools/driver/ProcessCounters.h"
#include "tools/driver/Protocol.h"
#include "tools/driver/TextMeasure.h"
#include "tools/driver/WindowOps.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Fields = std::vector<std::wstring>;

struct Failure : std::runtime_error {
    explicit Failure(const std::string& why) : std::runtime_error(why) {}
};

std::wstring Hex(HWND window) {
    wchar_t text[32];
    swprintf(text, 32, L"%llx",
             static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    return text;
}

std::wstring Number(long long value) {
    return std::to_wstring(value);
}

const std::wstring& Arg(const Fields& args, size_t index) {
    if (index >= args.size())
        throw Failure("missing argument " + std::to_string(index));
    return args[index];
}

long long Integer(const Fields& args, size_t index, long long fallback = -1) {
    if (index >= args.size() && fallback != -1)
        return fallback;
    const std::wstring& text = Arg(args, index);
    wchar_t* end = nullptr;
    long long value = wcstoll(text.c_str(), &end, 0);
    if (text.empty() || *end)
        throw Failure("not a number: " + ToUtf8(text));
    return value;
}

HWND Window(const Fields& args, size_t index) {
    HWND window = reinterpret_cast<HWND>(
        static_cast<UINT_PTR>(wcstoull(Arg(args, index).c_str(), nullptr, 16)));
    if (!IsWindow(window))
        throw Failure("no such window");
    return window;
}

HWND Control(const Fields& args, size_t windowIndex) {
    HWND dialog = Window(args, windowIndex);
    HWND control = GetDlgItem(dialog, static_cast<int>(Integer(args, windowIndex + 1)));
    if (!control)
        throw Failure("no control " + ToUtf8(Arg(args, windowIndex + 1)));
    return control;
}

// A person cannot act on a control that is disabled or hidden.
HWND UsableControl(const Fields& args, size_t windowIndex) {
    HWND control = Control(args, windowIndex);
    if (!IsWindowVisible(control))
        throw Failure("control is hidden");
    if (!IsWindowEnabled(control))
        throw Failure("control is disabled");
    if (!IsWindowEnabled(GetAncestor(control, GA_ROOT)))
        throw Failure("window is disabled (a modal box is open)");
    return control;
}

Fields Outcome(const ActionOutcome& outcome) {
    switch (outcome.kind) {
    case ActionOutcome::Done:
        return {L"done", Number(outcome.result)};
    case ActionOutcome::ModalOpened:
        return {L"modal", Hex(outcome.modal)};
    default:
        return {L"pending"};
    }
}

Fields FocusControl(HWND control) {
    // The dialog moves the focus itself, so the control left gets its
    // kill-focus notification and an edit entered gets its text selected.
    return Outcome(
        SendAction(GetParent(control), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE));
}

UINT VirtualKey(const std::wstring& name) {
    static const std::map<std::wstring, UINT> keys = {
        {L"ESCAPE", VK_ESCAPE}, {L"RETURN", VK_RETURN}, {L"TAB", VK_TAB},
        {L"SPACE", VK_SPACE},   {L"F1", VK_F1},         {L"DELETE", VK_DELETE},
        {L"UP", VK_UP},         {L"DOWN", VK_DOWN},     {L"BACK", VK_BACK}};
    auto found = keys.find(name);
    if (found != keys.end())
        return found->second;
    wchar_t* end = nullptr;
    unsigned long code = wcstoul(name.c_str(), &end, 0);
    if (name.empty() || *end)
        throw Failure("unknown key " + ToUtf8(name));
    return static_cast<UINT>(code);
}

using Command = std::function<Fields(const Fields&)>;

const std::map<std::wstring, Command>& Commands() {
    static const std::map<std::wstring, Command> commands = {
        {L"find",
         [](const Fields& a) {
             HWND window = FindTopWindow(Arg(a, 1), static_cast<DWORD>(Integer(a, 2, 10000)));
             if (!window)
                 throw Failure("no window with that caption");
             return Fields{Hex(window)};
         }},
        {L"owned",
         [](const Fields& a) {
             HWND box = FindOwnedWindow(Window(a, 1), static_cast<DWORD>(Integer(a, 2, 10000)));
             if (!box)
                 throw Failure("no window owned by it");
             return Fields{Hex(box), Caption(box)};
         }},
        {L"gone",
         [](const Fields& a) {
             HWND window = reinterpret_cast<HWND>(
                 static_cast<UINT_PTR>(wcstoull(Arg(a, 1).c_str(), nullptr, 16)));
             if (!WaitWindowGone(window, static_cast<DWORD>(Integer(a, 2, 10000))))
                 throw Failure("window still there");
             return Fields{};
         }},
        {L"exists",
         [](const Fields& a) {
             HWND window = reinterpret_cast<HWND>(
                 static_cast<UINT_PTR>(wcstoull(Arg(a, 1).c_str(), nullptr, 16)));
             return Fields{IsWindow(window) && IsWindowVisible(window) ? L"1" : L"0"};
         }},
        {L"windows",
         [](const Fields&) {
             Fields out;
             for (HWND window : VisibleTopWindows()) {
                 DWORD pid = 0;
                 GetWindowThreadProcessId(window, &pid);
                 out.insert(out.end(),
                            {Hex(window), Number(pid), ClassOf(window), Caption(window)});
             }
             return out;
         }},
        {L"caption", [](const Fields& a) { return Fields{Caption(Window(a, 1))}; }},
        {L"pid",
         [](const Fields& a) {
             DWORD pid = 0;
             GetWindowThreadProcessId(Window(a, 1), &pid);
             return Fields{Number(pid)};
         }},
        {L"counters",
         [](const Fields& a) {
             ProcessCounters c;
             std::string why;
             if (!ReadProcessCounters(static_cast<DWORD>(Integer(a, 1)), c, why))
                 throw Failure(why);
             return Fields{Number(c.handles),      Number(c.userObjects),
                           Number(c.gdiObjects),   Number(static_cast<long long>(c.privateBytes)),
                           Number(static_cast<long long>(c.workingSet)),
                           Number(c.threads),      Number(static_cast<long long>(c.cpuMs))};
         }},
        {L"paint",
         [](const Fields& a) {
             // Paints now, in the window's own thread, so a screenshot shows it whole.
             RedrawWindow(Window(a, 1), nullptr, nullptr,
                          RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
             return Fields{};
         }},
        {L"rect",
         [](const Fields& a) {
             RECT r = {};
             GetWindowRect(Window(a, 1), &r);
             return Fields{Number(r.left), Number(r.top), Number(r.right), Number(r.bottom)};
         }},
        {L"text", [](const Fields& a) { return Fields{WindowText(Control(a, 1))}; }},
        {L"extent",
         [](const Fields& a) {
             // The control's text as drawn in its own font, beside its client size.
             ProbeResult r = {};
             std::string why;
             // By handle: labels share the id -1, so only their handles tell them apart.
             if (!MeasureControlText(Window(a, 1), r, why))
                 throw Failure(why);
             return Fields{Number(r.textWidth), Number(r.textHeight), Number(r.clientWidth),
                           Number(r.clientHeight), r.face};
         }},
        {L"state",
         [](const Fields& a) {
             HWND control = Control(a, 1);
             return Fields{IsWindowEnabled(control) ? L"1" : L"0", Number(CheckState(control)),
                           IsWindowVisible(control) ? L"1" : L"0", HasFocus(control) ? L"1" : L"0"};
         }},
        {L"controls",
         [](const Fields& a) {
             Fields out;
             for (const ControlInfo& c : ListControls(Window(a, 1)))
                 out.insert(out.end(),
                            {Number(c.id), c.className, c.enabled ? L"1" : L"0", Number(c.checked),
                             c.visible ? L"1" : L"0", c.text, Hex(c.handle)});
             return out;
         }},
        {L"combo",
         [](const Fields& a) {
             int selected = -1;
             Fields items;
             if (!ReadCombo(Control(a, 1), selected, items))
                 throw Failure("cannot read the combo box");
             items.insert(items.begin(), Number(selected));
             return items;
         }},
        {L"settext",
         [](const Fields& a) {
             return Outcome(SendAction(UsableControl(a, 1), WM_SETTEXT, 0,
                                       reinterpret_cast<LPARAM>(Arg(a, 3).c_str())));
         }},
        {L"puttext",
         [](const Fields& a) {
             // WM_SETTEXT as another program would send it: disabled or not.
             return Outcome(SendAction(Control(a, 1), WM_SETTEXT, 0,
                                       reinterpret_cast<LPARAM>(Arg(a, 3).c_str())));
         }},
        {L"type",
         [](const Fields& a) {
             HWND control = UsableControl(a, 1);
             Fields result = FocusControl(control);
             for (wchar_t c : Arg(a, 3)) {
                 if (result[0] != L"done")
                     break;
                 result = Outcome(SendAction(control, WM_CHAR, c, 1));
             }
             return result;
         }},
        {L"focus", [](const Fields& a) { return FocusControl(UsableControl(a, 1)); }},
        {L"click",
         [](const Fields& a) { return Outcome(SendAction(UsableControl(a, 1), BM_CLICK, 0, 0)); }},
        {L"select",
         [](const Fields& a) {
             HWND combo = UsableControl(a, 1);
             Fields result = Outcome(SendAction(combo, CB_SETCURSEL, Integer(a, 3), 0));
             if (result[0] != L"done")
                 return result;
             // CB_SETCURSEL alone notifies nobody; a person's choice does.
             WPARAM command = MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE);
             return Outcome(SendAction(GetParent(combo), WM_COMMAND, command,
                                       reinterpret_cast<LPARAM>(combo)));
         }},
        {L"key",
         [](const Fields& a) {
             PressKey(Window(a, 1), VirtualKey(Arg(a, 2)));
             return Fields{};
         }},
        {L"syscommand",
         [](const Fields& a) {
             return Outcome(SendAction(Window(a, 1), WM_SYSCOMMAND, Integer(a, 2), 0));
         }},
        {L"command",
         [](const Fields& a) {
             // A command sent as another program would send it: it reaches the dialog even
             // while its button is disabled, which a person's click never does.
             WPARAM command = MAKEWPARAM(Integer(a, 2), BN_CLICKED);
             return Outcome(SendAction(Window(a, 1), WM_COMMAND, command, 0));
         }},
        {L"close",
         [](const Fields& a) {
             // What the caption's close box sends.
             return Outcome(SendAction(Window(a, 1), WM_SYSCOMMAND, SC_CLOSE, 0));
         }},
        {L"filename",
         [](const Fields& a) {
             HWND field = FileNameField(Window(a, 1));
             if (!field)
                 throw Failure("no file name field");
             return Outcome(
                 SendAction(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Arg(a, 2).c_str())));
         }},
    };
    return commands;
}

} // namespace

int main() {
    // Binary streams: answers end in LF only, and CR in texts stays escaped.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    char buffer[65536];
    std::string line;
    while (fgets(buffer, sizeof buffer, stdin)) {
        line += buffer;
        if (line.empty() || line.back() != '\n')
            continue;
        Fields request = SplitRequest(line);
        line.clear();
        if (request[0] == L"quit")
            break;
        Fields answer;
        auto command = Commands().find(request[0]);
        try {
            if (command == Commands().end())
                throw Failure("unknown command " + ToUtf8(request[0]));
            answer = command->second(request);
            answer.insert(answer.begin(), L"ok");
        } catch (const std::exception& e) {
            answer = {L"err", FromUtf8(e.what())};
        }
        std::string out = JoinAnswer(answer);
        fwrite(out.data(), 1, out.size(), stdout);
        fflush(stdout);
    }
    return 0;
}
