#pragma once
// The files a service writes (its output, the trace, the JVM's verbose file)
// may lie in a folder that other users can write to. Such a file is opened
// only as itself: never through a reparse point (a symbolic link or junction
// that would turn the service's append into another file's), never when it
// has a second name (a hard link to another file), and a file it creates
// grants access to LocalSystem, Administrators and the account this process
// runs as (its service SID too, when the token has one), to nobody else.
#include <windows.h>

// Refused files answer this code: the file is a reparse point or has more than one name.
inline constexpr DWORD kFileNotOwnable = ERROR_NOT_SUPPORTED;
// What the trace says of such a file, followed by its name.
inline constexpr const wchar_t* kRefusedFileMessage = L"The file is a link or has another name and is not used: ";

// Opens or creates the file with this access and sharing; INVALID_HANDLE_VALUE
// with the last error set when it fails, kFileNotOwnable when it is refused.
HANDLE openOwnedFile(const wchar_t* name, DWORD access, DWORD share);

// Whether the file at name may be renamed or deleted by a rotation: it is a
// plain file with a single name. A missing file answers false with
// ERROR_FILE_NOT_FOUND as the last error.
bool isOwnableFile(const wchar_t* name);
