// How the C library's allocator is set up for this program's threads.
#pragma once

namespace clipvane {

// Lets at most two malloc arenas serve all threads. Each thread that allocates would get an
// arena of its own, 64 MB of address space each: a GIF run's frame workers, encoder and
// decoder threads would take some 500 MB of it for a few MB in use, and under an address
// space limit (`ulimit -v`, a batch system's) the frames themselves would find no room.
void ShareMallocArenas();

}  // namespace clipvane
