// The tunes of a collection's run: the files named, and the .sid files found
// in the folders named (searched recursively), in byte order of their paths.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CollectionTune {
    std::string file;      // the path to read it by, as the system takes it
    std::string listPath;  // below the argument it was found under: "/MUSICIANS/X/Tune.sid"
};

// Every tune under `paths`, each argument's tunes in byte order of their list
// paths, the arguments in the order given. An argument that is neither a
// file nor a folder gets a diagnostic and adds nothing; `allFound` is then
// false.
std::vector<CollectionTune> findTunes(const std::vector<std::string>& paths, bool& allFound);

// Shard `shard` of `shards` (1 <= shard <= shards): every shards-th tune from
// the shard-th on. All tunes when shards is 0.
std::vector<CollectionTune> shardOf(std::vector<CollectionTune> tunes, uint32_t shard,
                                    uint32_t shards);
