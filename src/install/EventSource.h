#pragma once
// The service as an event source of the Application log: the registry key that
// tells the event log where the texts of the service's events are (pravik.exe's
// message table) and which entry types it writes.
class CLogger;

// Creates the source's key, or updates pravik's own (its message file is a
// pravik.exe or messageFile itself); another program's source of that name is
// left alone with a warning. messageFile: the program whose message table holds the texts, or
// null for this program. A failure is logged as a warning: the service runs
// without it, its events only lack their texts.
void registerEventSource(CLogger* logger, const wchar_t* serviceName, const wchar_t* messageFile);
// Deletes the source's key when it is pravik's own: its message file is a
// pravik.exe or the program of the service's image path (as read before the
// service was deleted; may be null). Another program's is left with a
// warning; one that is not there is no failure.
void removeEventSource(CLogger* logger, const wchar_t* serviceName, const wchar_t* imagePath);
