#include "ThreadLogTag.h"

namespace {

thread_local QString threadTag;

} // namespace

void ThreadLogTag::set(const QString& tag)
{
    threadTag = tag;
}

QString ThreadLogTag::current()
{
    return threadTag;
}
