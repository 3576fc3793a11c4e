// Reading the response-file text format into an argument vector.
//
// White space (CC_SPACE) separates arguments; single quotes take everything up to the
// next single quote literally; double quotes keep white space, and a backslash in them
// escapes only $ ` " \ and newline; outside quotes a backslash escapes any byte; an
// escaped newline is dropped. The end of the text closes whatever is open.
#pragma once

/// Returns a new vector of the arguments in text, owned by the caller (see argv_release);
/// an empty vector for a text without arguments, null only for a null text.
char** argv_parse(const char* text);
