#pragma once
// The yes/no dialog and the touch lock: which dialog is open, its answer and the requests
// it was opened for, the lock dialogs' three-second clock and the lock's own state. The
// GUI scene holds one; the record opens a dialog and asks the lock question itself,
// dialogs.cpp draws the dialogs and the GUI acts on the answers. Main thread only.

#include "base/types.hpp"

struct GuiDialogs
{
  sU32 dialogKind;             // 0 none, 1..8
  sU32 dialogTimer;            // ms since the dialog opened (3000 after Init)
  sU32 touchLocked;
  sU32 dialogAnswer, dialogPending, lockRequest, lockState, exitRequest, updateRequest;
  sU32 lockTouchTime, autoFxLocked;

  // Opens dialog kind (1..8) in place of any open one, with no answer yet: answerKey, the
  // YES and NO keys' command word, is cleared with it.
  void Open(sInt kind, sU32 &answerKey);
  // The LOCK key asks for the other lock state: its dialog (7 lock, 8 unlock) opens unless a
  // lock dialog is pending, its three seconds from now. True when it opened.
  sBool AskLock(sU32 &answerKey);
};
