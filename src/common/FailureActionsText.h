#pragma once
// The failureActions key, "restart/60000,run/1000,none/0": one action word (any
// letter case) and its delay in milliseconds per failure, the service control
// manager's SC_ACTION table in text, and back. No Windows headers, so that it is
// built and tested natively too.
#include "common/HeapText.h"
#include "common/NamedValue.h"

// SC_ACTION_NONE (0), SC_ACTION_RESTART (1), SC_ACTION_REBOOT (2), SC_ACTION_RUN_COMMAND (3).
inline constexpr unsigned long kActionNone = 0;
inline constexpr unsigned long kActionRestart = 1;
inline constexpr unsigned long kActionReboot = 2;
inline constexpr unsigned long kActionRunCommand = 3;
// "none", "restart", "reboot", "run".
extern const CNamedValue kFailureActionNames[4];

struct CFailureAction {
    unsigned long type;
    unsigned long delay;
};

inline constexpr int kUnknownFailureAction = 1;
inline constexpr int kMalformedFailureDelay = 2;
inline constexpr int kFailureActionsMemory = 3;

struct CFailureActionList {
    CHeapPtr<CFailureAction> actions;
    unsigned long count = 0;
    // After kUnknownFailureAction: the word; after kMalformedFailureDelay: the
    // delay text, or the whole item when it has no "/".
    CHeapText refused;
};

// 0, kUnknownFailureAction, kMalformedFailureDelay or kFailureActionsMemory.
// Items are separated by ","; an empty item is an unknown (empty) action word.
int parseFailureActions(const wchar_t* text, CFailureActionList* list);

// The key's text with lower-case words; null when memory is short or a type has no word.
CHeapText formatFailureActions(const CFailureAction* actions, unsigned long count);
