#include "EventLog.h"

#include <cstdio>

void EventLog::emit(std::FILE* stream, const std::string& line)
{
    std::fputs(line.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}
