#include "log/LogFileRotation.h"

#include "common/LogRotation.h"
#include "common/OwnedFile.h"

DWORD rotateLogFile(const wchar_t* name, unsigned keep, unsigned* blockedGeneration) {
    const unsigned count = rotationStepCount(keep);
    for (unsigned index = 0; index < count; ++index) {
        const CRotationStep step = rotationStep(keep, index);
        const CHeapText from = generationName(name, step.from);
        const CHeapText to = step.to == kDeletedGeneration ? CHeapText() : generationName(name, step.to);
        if (!from || (step.to != kDeletedGeneration && !to)) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        // Without replacing: each target was freed by the step before, and a
        // target still there (another process rotating the same file) is kept.
        // Only a plain file with one name moves: a link planted in the folder
        // stops the rotation as a held file does.
        const BOOL moved =
            isOwnableFile(from.get()) && (to ? MoveFileExW(from.get(), to.get(), 0) : DeleteFileW(from.get()));
        const DWORD error = moved ? 0 : GetLastError();
        // A generation that cannot move stops the rotation: every later step
        // would move a younger one onto it.
        if (error != 0 && error != ERROR_FILE_NOT_FOUND) {
            if (blockedGeneration != nullptr) {
                *blockedGeneration = step.from;
            }
            return error;
        }
    }
    return 0;
}
