#pragma once
// The service's env. and secret. variables, set in this process at the start,
// before the pre-initialisation command and the JVM, which inherit them.
class CLogger;

// Every env. value, its %VAR% references expanded against the environment as
// it is when the value is set (so a value may use one set before it), then
// every secret, unexpanded: a secret wins over an env. value of the same name,
// and both over the environment the process was given. 0, or
// kSecretNotReadable when a secret cannot be read or unprotected (its name
// logged, never its value).
int applyServiceEnvironment(CLogger* logger, const wchar_t* serviceName);
