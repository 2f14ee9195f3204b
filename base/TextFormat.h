#pragma once
// printf-style text into a string, for the messages that say why a file was refused.

#include <cstdarg>
#include <string>

// At most 511 characters; a longer message is cut there.
std::string FormatTextV(const char* szFormat, va_list Args);
