#include "log/LogFileRotation.h"

#include "common/LogRotation.h"

DWORD rotateLogFile(const wchar_t* name, unsigned keep) {
    DWORD result = 0;
    const unsigned count = rotationStepCount(keep);
    for (unsigned index = 0; index < count; ++index) {
        const CRotationStep step = rotationStep(keep, index);
        const CHeapText from = generationName(name, step.from);
        const CHeapText to = step.to == kDeletedGeneration ? CHeapText() : generationName(name, step.to);
        if (!from || (step.to != kDeletedGeneration && !to)) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        const BOOL moved = to ? MoveFileExW(from.get(), to.get(), MOVEFILE_REPLACE_EXISTING) : DeleteFileW(from.get());
        const DWORD error = moved ? 0 : GetLastError();
        // An older generation that cannot move is overwritten by the next
        // step or left behind; only the file itself decides the rotation.
        if (step.from == 0 && error != ERROR_FILE_NOT_FOUND) {
            result = error;
        }
    }
    return result;
}
