#pragma once
// Every result code of the program, by the number it has as an exit code (the
// README's table). 13 to 24, 26 and 28 end a service run; they are its service-specific
// exit code, not the process's.

// A switch lacked its value, or install and uninstall were asked for together.
inline constexpr int kSwitchError = 1;
// No arguments: the usage text was printed.
inline constexpr int kUsageShown = 2;
inline constexpr int kNoConfigFileName = 3;
// The configuration file cannot be opened, sized, read or converted.
inline constexpr int kConfigFileUnreadable = 4;
// A configuration line without a value, or a key whose value is not one it takes
// (a failure action, delay, reset period, SID type, preshutdown timeout or log
// setting), refused before installation creates anything.
inline constexpr int kConfigLineWithoutValue = 5;
// A required configuration key is missing or empty.
inline constexpr int kMissingOption = 7;
// The service control manager cannot be opened, or the service cannot be created.
inline constexpr int kServiceNotCreated = 8;
inline constexpr int kMemoryError = 9;
// Uninstall without a configuration file or service name.
inline constexpr int kNothingToRemove = 10;
// The service was not created by this program and is not removed.
inline constexpr int kNotOurService = 11;
// A registry value, or a setting of the service control manager after creation, not written.
inline constexpr int kRegistryWriteError = 12;

// The JVM host's failures.
inline constexpr int kJvmLibraryNotLoaded = 13;
inline constexpr int kJvmEntryPointMissing = 14;
inline constexpr int kJvmDefaultArgsFailed = 15;
inline constexpr int kJvmCreationFailed = 16;
inline constexpr int kJvmNoServiceClass = 17;
inline constexpr int kJvmClassNotFound = 18;
inline constexpr int kJvmNoServiceMain = 19;
inline constexpr int kJvmNoServiceControl = 20;
inline constexpr int kJvmNoManagerClass = 21;
inline constexpr int kJvmRegisterNativesFailed = 22;
// A service run whose control handler could not be registered.
inline constexpr int kControlHandlerNotRegistered = 23;
// A pre-initialisation command that could not be started.
inline constexpr int kPreinitNotStarted = 24;

// Removal failed: the service could not be stopped or deleted and is still installed.
inline constexpr int kNotRemoved = 25;
// A service that did not stop within its stop budget (StopTimeout).
inline constexpr int kStopTimedOut = 26;

// 27 is set in Java, not by pravik.exe: the service-specific exit code with which
// pravik.jar's MainClassService stops a program that was not ready in time.
// A secret of the service that cannot be read or unprotected at its start.
inline constexpr int kSecretNotReadable = 28;

// "-q" answers in LSB's numbering for the common cases, not in the codes above:
// the service is running, stopped, not installed (or its status cannot be read),
// or in any other state; 11 (kNotOurService) when this program did not create it.
inline constexpr int kStatusRunning = 0;
inline constexpr int kStatusStopped = 3;
inline constexpr int kStatusUnknown = 4;
inline constexpr int kStatusOtherState = 6;
