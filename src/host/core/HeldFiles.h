#pragma once
// The files this process made and must not leave behind if a signal ends it
// (its lock files, the temporary of a save under way): a list kept in fixed
// storage that a signal handler may read, and the one call such a handler
// makes to remove them.

#include <string>

namespace host {

// Lists path; returns its slot, or -1 when the list is full (the file is
// still removed the ordinary way, only not on a signal).
int RememberHeldFile(const std::string& path);
// Takes the file of slot off the list (slot -1: nothing).
void ForgetHeldFile(int slot);

// Removes every file listed now. Safe to call from a signal handler.
void RemoveHeldFiles();

// Makes the signals that end a process from outside (interrupt, terminate,
// hang-up) remove the listed files first and then end it as they would; and
// makes a file size limit (SIGXFSZ) a write that fails, which the save
// reports for its file, instead of an end that leaves the files behind.
void RemoveHeldFilesOnSignals();

}  // namespace host
