// The system's Qt is not built with ThreadSanitizer, so the locks with which
// it hands a queued call to the receiving thread are invisible to it. Without
// these defaults every queued signal that carries data would be reported.
#if defined(__SANITIZE_THREAD__)

extern "C" {

// Accesses made by Qt and glib themselves (event allocation, wake-up fds,
// implicitly shared data freed on another thread) are not checked.
const char* __tsan_default_options()
{
    return "ignore_noninstrumented_modules=1";
}

// Copies of queued arguments are made by the sender inside Qt's queue and read
// by the receiver after Qt's own hand-off.
const char* __tsan_default_suppressions()
{
    return "race:QtPrivate::QMetaTypeForType*getCopyCtr\n";
}
}

#endif
