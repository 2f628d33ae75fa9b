#pragma once
// Console control events: offered to the Java side while the JVM host is ready.
#include <windows.h>

class CJvmHostSlot;
class CLogger;

// From now on the process's console events are offered to the ready host of
// the slot, and said in the logger's trace.
void offerConsoleEvents(CLogger* logger, CJvmHostSlot* jvm);
// No console event reaches the logger or the slot after this returns, and
// every event that had reached them has been answered.
void withdrawConsoleEvents();
