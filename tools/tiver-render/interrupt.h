// Ctrl-C and requests to terminate, caught so that a long render stops between frames and
// removes what it wrote instead of dying with a partial file. POSIX body in posix/, Win32
// body in win32/. Used by tiver-render's main and the sinks.
#pragma once

// From now on SIGINT, SIGTERM and SIGHUP (Ctrl-C and Ctrl-Break on a Windows console) only
// set the flag that `interrupted` reads.
void catch_interrupts();

// Whether such a request has come. Safe from any thread.
bool interrupted();
