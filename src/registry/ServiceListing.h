#pragma once
// Recognising and listing the installed services that this program created.

// 1 when the service's ImagePath contains "pravik" (case-sensitive) or its
// Parameters subkey has an IPravikClass value, else 0.
int isPravikService(const wchar_t* serviceName);

// The outcome of walking the installed services.
enum class EServiceWalk { done, registryClosed, memoryShort, enumerationFailed };

using PravikServiceVisitor = void (*)(const wchar_t* serviceName, void* context);

// Calls visit with the name of every service that isPravikService accepts, in
// the registry's order; *status: the enumeration's last answer.
EServiceWalk forEachPravikService(PravikServiceVisitor visit, void* context, long* status);

// Prints every service that isPravikService accepts, with its display name,
// to standard output (the "-b" action).
void showPravikServices();
