#pragma once
// "-p -": the account password read from standard input, so that it stands on
// no command line (process lists) and in no shell history.
#include <cstddef>

class CLogger;

// A password in heap memory that is wiped before it is freed.
class CSecretText {
public:
    CSecretText() = default;
    ~CSecretText();
    CSecretText(const CSecretText&) = delete;
    CSecretText& operator=(const CSecretText&) = delete;

    // Null until a password was read.
    const wchar_t* get() const { return text; }

private:
    friend int readPasswordFromInput(CLogger* logger, CSecretText* password);

    wchar_t* text = nullptr;
    std::size_t characters = 0;
};

// Whether the password given on the command line is "-", the request to read it.
bool passwordFromInput(const wchar_t* password);

// One line of standard input into *password: typed at a console without echo,
// else the first line of the pipe or file, its CR LF or LF stripped. 0; or 1
// after a message when no password could be read (none, empty, too long).
int readPasswordFromInput(CLogger* logger, CSecretText* password);
