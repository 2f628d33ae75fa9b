#pragma once
// "-p -": the account password read from standard input, so that it stands on
// no command line (process lists) and in no shell history.
#include "common/SecretText.h"

class CLogger;

// Whether the password given on the command line is "-", the request to read it.
bool passwordFromInput(const wchar_t* password);

// One line of standard input into *password: typed at a console without echo,
// else the first line of the pipe or file, its CR LF or LF stripped. 0; or 1
// after a message when no password could be read (none, empty, too long).
int readPasswordFromInput(CLogger* logger, CSecretText* password);
