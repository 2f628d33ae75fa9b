#pragma once
// What the command line asks of the installer. The texts belong to the caller
// and outlive the installer.
struct CInstallRequest {
    const wchar_t* configFileName = nullptr;
    int configFileUnicode = 0;
    // Removal by service name ("-r") instead of by configuration file.
    const wchar_t* serviceName = nullptr;
    const wchar_t* accountName = nullptr;
    const wchar_t* accountPassword = nullptr;
    // With "-U": print what would change, change nothing.
    int dryRun = 0;
};
