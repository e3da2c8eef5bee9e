/* The platform's cost of one Status line: a dialog with nothing but an edit control of the
 * Status box's size, style and font, and lines added to it as Farlink adds them, timed with the
 * performance counter. After ROUNDS warm-up lines each way adds ROUNDS timed lines; it prints the
 * median and the spread per line, in milliseconds:
 *
 *   bare_status.exe            STATUS <way> median <ms> min <ms> max <ms>
 *
 * Ways: "as the program" (caret to the end, the line replaced in), "as before" (the program's
 * earlier way: the caret also scrolled to before, and moved and scrolled to again after),
 * "replace only" (the one EM_REPLACESEL), "cr-lf ends" ("\r\n" for "\r\r\n"), "two lines at
 * once" (per line: half of one replacement holding two), "no redraw" (as the program inside
 * WM_SETREDRAW off and on), taking turns line by line; and "dialog painted after a line", the
 * UpdateWindow of the dialog that follows a line before the program's waits. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define ROUNDS 15
#define STATUS_ID 100

static const char* const kLines[] = {"Connected with WinCE remote station.",
                                     "Sending username and password...", "Connected to 5551234",
                                     "Connection Hangup."};

static double g_tick_ms;

static double Now(void) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart * g_tick_ms;
}

static void CaretToEnd(HWND box) {
    const int end = GetWindowTextLengthA(box);
    SendMessageA(box, EM_SETSEL, end, end);
}

static void Put(HWND box, const char* text, const char* ending, int caret) {
    char line[128];
    snprintf(line, sizeof line, "%s%s", text, ending);
    if (caret)
        CaretToEnd(box);
    SendMessageA(box, EM_REPLACESEL, FALSE, (LPARAM)line);
}

static void AsTheProgram(HWND box, const char* text) {
    Put(box, text, "\r\r\n", 1);
}

static void ReplaceOnly(HWND box, const char* text) {
    Put(box, text, "\r\r\n", 0);
}

static void CrLfEnds(HWND box, const char* text) {
    Put(box, text, "\r\n", 1);
}

/* As the program added a line before: caret to the end and scrolled to, the line, the same
 * again after it. */
static void AsBefore(HWND box, const char* text) {
    CaretToEnd(box);
    SendMessageA(box, EM_SCROLLCARET, 0, 0);
    Put(box, text, "\r\r\n", 0);
    CaretToEnd(box);
    SendMessageA(box, EM_SCROLLCARET, 0, 0);
}

static void NoRedraw(HWND box, const char* text) {
    SendMessageA(box, WM_SETREDRAW, FALSE, 0);
    AsTheProgram(box, text);
    SendMessageA(box, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(box, NULL, NULL, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE);
}

typedef void (*AddLine)(HWND, const char*);

static int Compare(const void* a, const void* b) {
    const double x = *(const double*)a, y = *(const double*)b;
    return x < y ? -1 : x > y;
}

static void Report(const char* way, double* times, int count) {
    qsort(times, (size_t)count, sizeof *times, Compare);
    printf("STATUS %s median %.2f min %.2f max %.2f\n", way, times[count / 2], times[0],
           times[count - 1]);
}

/* Two lines in one replacement, as the reply line and "Connection Hangup." could go. */
static void TwoAtOnce(HWND box, const char* text) {
    char pair[128];
    (void)text;
    snprintf(pair, sizeof pair, "%s\r\r\n%s", kLines[2], kLines[3]);
    Put(box, pair, "\r\r\n", 1);
}

struct Way {
    const char* name;
    AddLine add;
    int lines; /* how many lines one call adds */
};

static struct Way g_ways[] = {
    {"as the program", AsTheProgram, 1}, {"as before", AsBefore, 1},
    {"replace only", ReplaceOnly, 1},    {"cr-lf ends", CrLfEnds, 1},
    {"two lines at once", TwoAtOnce, 2}, {"no redraw", NoRedraw, 1},
};

#define WAYS (int)(sizeof g_ways / sizeof g_ways[0])

/* The ways take turns line by line, so a busy moment of the machine falls on all of them. */
static void MeasureWays(HWND box) {
    static double times[WAYS][ROUNDS];
    const int count = WAYS;
    int i, w;
    SetWindowTextA(box, "Ready to make a call.\r\r\n");
    for (i = 0; i < ROUNDS; ++i)
        AsTheProgram(box, kLines[i % 4]);
    for (i = 0; i < ROUNDS; ++i)
        for (w = 0; w < count; ++w) {
            const double start = Now();
            g_ways[w].add(box, kLines[(i + w) % 4]);
            times[w][i] = (Now() - start) / g_ways[w].lines;
        }
    for (w = 0; w < count; ++w)
        Report(g_ways[w].name, times[w], ROUNDS);
}

/* The dialog repainted at once after each line, as before the program's waits; the paint
 * alone is timed. */
static void MeasurePaint(HWND dialog, HWND box) {
    double times[ROUNDS];
    int i;
    SetWindowTextA(box, "Ready to make a call.\r\r\n");
    UpdateWindow(dialog);
    for (i = 0; i < 2 * ROUNDS; ++i) {
        double start;
        AsTheProgram(box, kLines[i % 4]);
        start = Now();
        UpdateWindow(dialog);
        if (i >= ROUNDS)
            times[i - ROUNDS] = Now() - start;
    }
    Report("dialog painted after a line", times, ROUNDS);
}

static void Run(HWND dialog) {
    HWND box = GetDlgItem(dialog, STATUS_ID);
    MeasureWays(box);
    MeasurePaint(dialog, box);
    fflush(stdout);
}

static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)wParam;
    (void)lParam;
    if (message == WM_INITDIALOG) {
        PostMessageA(window, WM_APP, 0, 0);
        return TRUE;
    }
    if (message == WM_APP) {
        Run(window);
        EndDialog(window, 0);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, 0);
        return TRUE;
    }
    return FALSE;
}

static WORD g_template[128];

static WORD* Text(WORD* at, const wchar_t* text) {
    do
        *at++ = (WORD)*text;
    while (*text++);
    return at;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    LARGE_INTEGER frequency;
    DLGTEMPLATE* dialog = (DLGTEMPLATE*)g_template;
    DLGITEMTEMPLATE* item;
    WORD* at;
    (void)previous;
    (void)commandLine;
    (void)show;
    QueryPerformanceFrequency(&frequency);
    g_tick_ms = 1000.0 / (double)frequency.QuadPart;
    /* The main dialog's frame and font, with the Status box alone in it. */
    dialog->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_MODALFRAME | DS_SETFONT;
    dialog->cdit = 1;
    dialog->cx = 232;
    dialog->cy = 188;
    at = (WORD*)(dialog + 1);
    *at++ = 0; /* no menu */
    *at++ = 0; /* the dialog class */
    at = Text(at, L"Bare Status");
    *at++ = 8;
    at = Text(at, L"MS Sans Serif");
    at = (WORD*)(((ULONG_PTR)at + 3) & ~(ULONG_PTR)3);
    item = (DLGITEMTEMPLATE*)at;
    item->style = WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY |
                  WS_VSCROLL;
    item->x = 57;
    item->y = 149;
    item->cx = 168;
    item->cy = 32;
    item->id = STATUS_ID;
    at = (WORD*)(item + 1);
    *at++ = 0xFFFF;
    *at++ = 0x0081; /* edit */
    *at++ = 0;      /* no text yet */
    *at++ = 0;      /* no creation data */
    return (int)DialogBoxIndirectA(instance, dialog, NULL, Procedure);
}
