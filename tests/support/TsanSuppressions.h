#pragma once

// Qt is not built with ThreadSanitizer, so the hand-over of a posted event through Qt's own
// event-queue locks is invisible to it, and every event a worker posts would be reported as a
// race with the thread that delivers it. Reports with Qt on the stack are therefore
// suppressed. The same goes for glib, whose event loop Qt's dispatcher runs on: waking another
// thread's loop writes glib's own eventfd, which TSan sees as a race with its creation. Our own
// code carries no suppressions. Included once by each test main.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\n"
           "race:libglib-2.0.so\n";
}
#endif
