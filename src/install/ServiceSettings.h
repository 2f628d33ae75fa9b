#pragma once
// How installation turns configuration words into what the service control
// manager takes: start type, error control, the image path, the dependency
// list, and the account that receives the logon right. No Windows headers, so
// that it is built and tested natively too.
#include <cstddef>

#include "common/HeapText.h"

// The longest service name the service control manager accepts.
inline constexpr std::size_t kMaxServiceNameLength = 256;
// The manager starts the image path as a process command line, which holds at
// most 32,767 characters including its terminator.
inline constexpr std::size_t kMaxImagePathLength = 32766;

inline constexpr unsigned long kOwnProcessType = 0x10;
inline constexpr unsigned long kInteractiveOwnProcessType = 0x110;
inline constexpr unsigned long kDemandStart = 3;
inline constexpr unsigned long kErrorNormal = 1;

// The start type for a startType value (letter case ignored); null gives
// SERVICE_DEMAND_START. *recognised is 0 for any other word, which also gives
// SERVICE_DEMAND_START.
unsigned long startTypeFromWord(const wchar_t* word, int* recognised);

// The same for errorControl; the default is SERVICE_ERROR_NORMAL.
unsigned long errorControlFromWord(const wchar_t* word, int* recognised);

// "<program path>" -Z "<service name>", the command line the manager starts.
// Null when memory is short.
CHeapText buildImagePath(const wchar_t* programPath, const wchar_t* serviceName);

// A comma-separated list as the double-terminated list of names that
// CreateServiceW takes; blanks stay part of the names. Null when memory is short.
CHeapText buildDependencyList(const wchar_t* commaSeparated);

// The name under which the account is looked up for the logon right, owned by
// the result: as given, domain and all, except that ".\name" (the account of
// this computer, as the service control manager takes it) becomes
// "<computerName>\name", the form the lookup knows. Null when memory is short.
CHeapText accountForLookup(const wchar_t* accountName, const wchar_t* computerName);

// What an account given with "-a" needs at installation.
enum class EAccountKind {
    // An account with a password of its own (or none given).
    ordinary,
    // "NT SERVICE\<name>" (letter case ignored): the system makes it with the
    // service of that name, so it has no password and its right can only be
    // granted once the service exists.
    virtualAccount,
    // "DOMAIN\name$": a group managed service account, whose password the
    // system fetches; it exists before the service.
    groupManaged,
};
EAccountKind accountKindOf(const wchar_t* accountName);

// "SYSTEM\CurrentControlSet\Services\<service name>". Null when memory is short.
CHeapText buildServiceKeyPath(const wchar_t* serviceName);
