// The registry of temporary files in progress and the interrupt handler that removes them.
#include "core/interrupt_cleanup.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>

namespace clipvane {

namespace {

// Saves run one at a time in each thread that saves, and few threads save: a handful of
// slots is plenty. A slot is free (0), being filled (1), holds the path of a file being
// created (3) or of a file that may exist (2).
constexpr int kSlots = 8;
char g_paths[kSlots][PATH_MAX];
std::atomic<int> g_states[kSlots];
// Set when the handler starts: from then on no other thread creates a temporary file, so none
// can appear after the handler has deleted the registered ones.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the states");
static_assert(std::atomic<bool>::is_always_lock_free, "the handler sets the flag");

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnInterrupt(int signal) {
  const int savedErrno = errno;
  g_interrupted.store(true);
  for (int i = 0; i < kSlots; ++i) {
    // Another thread may be inside open() for this path: let it finish (briefly; when that
    // thread is this one, it cannot), so its file is there to delete.
    const timespec pause{0, 1000000};
    for (int wait = 0; wait < 100 && g_states[i].load() == 3; ++wait) ::nanosleep(&pause, nullptr);
    const int state = g_states[i].load();
    if (state == 2 || state == 3) ::unlink(g_paths[i]);
  }
  errno = savedErrno;
  // The action went back to the default on entry (SA_RESETHAND), and the signal is not held
  // back inside its own handler (SA_NODEFER): sending it again ends the program here. Sent to
  // the process, not the thread: raise() in a child forked under AddressSanitizer returned.
  ::kill(::getpid(), signal);
}

}  // namespace

void RemoveTemporaryFilesOnInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND | SA_NODEFER;
  for (const int signal : kSignals) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

int RegisterTemporaryFile(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = 0;
    if (!g_states[i].compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) continue;
    std::memcpy(g_paths[i], path.c_str(), path.size() + 1);
    g_states[i].store(3);
    if (g_interrupted.load()) {
      // The handler is deleting the temporary files and ends the program: create nothing.
      g_states[i].store(0);
      for (;;) ::pause();
    }
    return i;
  }
  return -1;
}

void TemporaryFileCreated(int slot) {
  if (slot >= 0 && slot < kSlots) g_states[slot].store(2);
}

void UnregisterTemporaryFile(int slot) {
  if (slot >= 0 && slot < kSlots) g_states[slot].store(0, std::memory_order_release);
}

}  // namespace clipvane
