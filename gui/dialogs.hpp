#pragma once
// The yes/no dialog and the touch lock: which dialog is open, its answer and the requests
// it was opened for, the lock dialogs' three-second clock and the lock's own state. The
// GUI scene holds one; dialogs.cpp opens and draws the dialogs, the frame acts on the
// answers.

#include "base/types.hpp"

struct GuiDialogs
{
  sU32 dialogKind;             // 0 none, 1..8
  sU32 dialogTimer;            // ms since the dialog opened (3000 after Init)
  sU32 touchLocked;
  sU32 dialogAnswer, dialogPending, lockRequest, lockState, exitRequest, updateRequest;
  sU32 lockTouchTime, autoFxLocked;
};
