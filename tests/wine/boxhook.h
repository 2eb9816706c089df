// Records the message boxes that the calling thread shows, and closes each
// one with OK, through a window hook: on WM_INITDIALOG of a #32770 dialog
// the hook reads the caption, the text, the icon and the visible buttons,
// then posts IDOK. Needs the null graphics driver (or X) in the prefix.
//   BoxHookStart();  ... calls that may show boxes ...  BoxHookStop();
//   BoxCount, Boxes[i].Caption / .Text / .Exclamation / .Buttons / .OkButton
#ifndef TAV_WINE_BOXHOOK_H
#define TAV_WINE_BOXHOOK_H

#include <string.h>
#include <windows.h>

#define BOX_MAX 16

struct RecordedBox {
  char Caption[128];
  char Text[256];
  bool Exclamation;    // the exclamation icon is shown
  int Buttons;         // visible push buttons
  bool OkButton;       // one of them is IDOK
};

static RecordedBox Boxes[BOX_MAX];
static int BoxCount;
static HHOOK BoxHook;

static inline LRESULT CALLBACK BoxHookProc(int code, WPARAM wParam, LPARAM lParam) {
  const CWPRETSTRUCT* message = (const CWPRETSTRUCT*)lParam;
  if (code == HC_ACTION && message->message == WM_INITDIALOG) {
    char className[32] = "";
    GetClassNameA(message->hwnd, className, sizeof className);
    if (strcmp(className, "#32770") == 0) {
      HWND box = message->hwnd;
      RecordedBox* record = &Boxes[BoxCount < BOX_MAX ? BoxCount : BOX_MAX - 1];
      memset(record, 0, sizeof *record);
      GetWindowTextA(box, record->Caption, sizeof record->Caption);
      GetDlgItemTextA(box, 0xFFFF, record->Text, sizeof record->Text);
      HICON shown = (HICON)SendDlgItemMessageA(box, 0x0014, STM_GETICON, 0, 0);
      if (shown == NULL) {
        // The icon control's id differs between versions: look for any
        // static control that holds an icon.
        for (HWND child = GetWindow(box, GW_CHILD); child && !shown;
             child = GetWindow(child, GW_HWNDNEXT))
          shown = (HICON)SendMessageA(child, STM_GETICON, 0, 0);
      }
      record->Exclamation = shown != NULL && shown == LoadIcon(NULL, IDI_EXCLAMATION);
      for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char childClass[32] = "";
        GetClassNameA(child, childClass, sizeof childClass);
        if (lstrcmpiA(childClass, "Button") != 0) continue;
        if (!(GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE)) continue;
        record->Buttons++;
        if (GetDlgCtrlID(child) == IDOK) record->OkButton = true;
      }
      BoxCount++;
      PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
  }
  return CallNextHookEx(BoxHook, code, wParam, lParam);
}

static inline bool BoxHookStart(void) {
  BoxCount = 0;
  BoxHook = SetWindowsHookExA(WH_CALLWNDPROCRET, BoxHookProc, NULL, GetCurrentThreadId());
  return BoxHook != NULL;
}

static inline void BoxHookClear(void) { BoxCount = 0; }

static inline void BoxHookStop(void) {
  if (BoxHook) UnhookWindowsHookEx(BoxHook);
  BoxHook = NULL;
}

// The caption a box gets when the caller gives none (Wine: "Error").
static inline const char* DefaultBoxCaption(void) { return "Error"; }

#endif  // TAV_WINE_BOXHOOK_H
