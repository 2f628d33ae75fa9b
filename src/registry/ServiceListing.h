#pragma once
// Recognising and listing the installed services that this program created.

// 1 when the service's ImagePath contains "pravik" (case-sensitive) or its
// Parameters subkey has an IPravikClass value, else 0.
int isPravikService(const wchar_t* serviceName);

// Prints every service that isPravikService accepts, with its display name,
// to standard output (the "-b" action).
void showPravikServices();
