#include "common/RegistryLayout.h"

#include "common/CTextBuilder.h"

void appendServiceKeyPath(CTextBuilder& path, const wchar_t* serviceName) {
    path.append(kServicesKeyPath).appendChar(L'\\').append(serviceName);
}
