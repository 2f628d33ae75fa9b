#pragma once
// The service as an event source of the Application log: the registry key that
// tells the event log where the texts of the service's events are (pravik.exe's
// message table) and which entry types it writes.
class CLogger;

// Creates or updates the source's key. messageFile: the program whose message
// table holds the texts, or null for this program. A failure is logged as a
// warning: the service runs without it, its events only lack their texts.
void registerEventSource(CLogger* logger, const wchar_t* serviceName, const wchar_t* messageFile);
// Deletes the source's key; one that is not there is no failure.
void removeEventSource(CLogger* logger, const wchar_t* serviceName);
