#pragma once
// Volumes of a book that does not fit its jar budget: complete readers named
// "Tales 1", "Tales 2", ... (jars Tales-1.jar, Tales-2.jar, ...), each holding
// its share of the topics in book order and each at most the budget in size.
//
// A volume takes topics while the jar, measured exactly (Size() of the jar it
// would be), stays within the budget; a topic that does not fit goes whole to
// the next volume, unless it is too large for any volume: then it is split at
// paragraph ends (inside a paragraph only when one paragraph alone is larger
// than a volume, at a blank where one fits), and its parts are called
// "Name (1)", "Name (2)", ... Every volume but the last shows "» Tales k+1"
// as its menu's last entry, which opens nothing.

#include "book/Bookjar.h"
#include "common/Errors.h"

#include <cstdint>
#include <string>
#include <vector>

namespace volm {

// The MIDlet-Name and the file name of volume k (from 1).
std::string VolumeName(const std::string& bookName, size_t k);
std::string VolumeFileName(const std::string& bookName, size_t k);

// The smallest budget that holds the reader, the book's shared files and the
// smallest part of any topic (one byte of its text) with room to spare for
// the longest names and numbers a volume of this book can have. Every text
// size must be known.
uint64_t SmallestBudget(TBookJars& jars, const std::string& bookName);

// Plans the volumes. Every whole topic's packed size must be known (a jar of
// the whole book was written or measured). Raises volm::Error when a volume
// can't hold even one byte of a topic (a budget under SmallestBudget).
std::vector<TJarSpec> PlanVolumes(TBookJars& jars, const std::string& bookName, uint64_t budget);

} // namespace volm
