#pragma once

#include "config/profile_file.h"
#include "registry/display_record.h"

namespace tarnex {

// One entry of the single-display table, stored column-wise: each field is a section and the
// entry's index is the key.
void ReadDisplayRecord(const ProfileFile& file, int index, DisplayRecord& record);
void WriteDisplayRecord(ProfileFile& file, int index, const DisplayRecord& record);

}  // namespace tarnex
