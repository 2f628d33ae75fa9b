#pragma once
// Why a service could not start, in a few words, for each exit code that ends
// a start (13 to 23, 28): the reason of the event log's start-failed entry. The
// words name what is missing, never the configured value itself.
const wchar_t* startFailureReason(int exitCode);
