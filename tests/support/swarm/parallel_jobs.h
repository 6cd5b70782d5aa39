// Runs independent pieces of work (deltas, archives, torrent hashes) on a few threads.
#pragma once

#include <functional>
#include <vector>

namespace swarm {

// Runs every job on up to `threads` threads and returns when all have ended. After a job
// throws, no further job starts, and the first exception is rethrown once the running ones end.
void RunInParallel(const std::vector<std::function<void()>>& jobs, unsigned threads);

}  // namespace swarm
