#pragma once
// Quoting for command lines handed to CreateProcessW, by the rules with which
// the runtime's start-up code splits them again: an argument with blanks,
// tabs or quotes (or an empty one) is put in double quotes, quotes inside are
// escaped with a backslash, and backslashes are doubled only where they stand
// before a quote.
class CTextBuilder;

void appendQuotedArgument(CTextBuilder& line, const wchar_t* argument);
