// Profiles made at run time on top of the sample server, with more of one kind of item than it has.
#pragma once

#include <string>

namespace wholerun {

enum class ItemKind { Products, ProductEvents, Processes, SystemEvents };

const char* ItemName(ItemKind kind);

// How many items of the kind a report of the unattended diagnosis shows.
int ReportedItems(const std::string& report, ItemKind kind);

// How many processes the base profile's list holds, those the report leaves out included.
int ListedProcesses(const std::string& baseProfile);

// Writes to `dir` a profile based on `baseProfile` that adds `added` items of the kind, each one the
// report shows.
void WriteScaledProfile(const std::string& dir, const std::string& baseProfile, ItemKind kind, int added);

}  // namespace wholerun
