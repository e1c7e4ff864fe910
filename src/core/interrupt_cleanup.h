// Temporary files removed when the program is interrupted. Every save registers its temporary
// file for as long as the file may exist; SIGINT, SIGTERM or SIGHUP then deletes each
// registered file before the program ends as the signal would have ended it, so an
// interrupted run leaves only complete files. The handler is async-signal-safe: it reads
// fixed slots and calls unlink, nothing else.
#pragma once

#include <string>

namespace clipvane {

// Installs the handler for SIGINT, SIGTERM and SIGHUP. It deletes the registered temporary
// files, then sends itself the signal again with its default action, so the program ends as the
// signal ends it (a shell reports 130 for SIGINT). A signal the program was started with
// ignored (nohup) stays ignored. Calling it again changes nothing.
void RemoveTemporaryFilesOnInterrupt();

// Registers a path to be deleted on interrupt, before the file is created there; the result
// is its slot, or -1 when every slot is taken or the path is too long (the file is then not
// removed on interrupt). Call TemporaryFileCreated once the attempt to create it has returned:
// until then an interrupt waits for it. A thread that registers while an interrupt is being
// handled does not return: the program is ending.
int RegisterTemporaryFile(const std::string& path);
// The attempt to create the registered file has returned (whether it made the file or not).
// Does nothing for -1.
void TemporaryFileCreated(int slot);
// Forgets the path of a slot, once the file was renamed or deleted. Does nothing for -1.
void UnregisterTemporaryFile(int slot);

}  // namespace clipvane
