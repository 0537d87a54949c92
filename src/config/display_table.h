#pragma once

#include <vector>

#include "config/profile_file.h"
#include "registry/display_record.h"

namespace tarnex {

// One entry of the single-display table, stored column-wise: each field is a section and the
// entry's index is the key.
void ReadDisplayRecord(const ProfileFile& file, int index, DisplayRecord& record);
void WriteDisplayRecord(ProfileFile& file, int index, const DisplayRecord& record);

// The link kinds of the first `count` records, from "LINKKIND"; every other record is left as
// it is. A kind belongs to the address it was stored with, wherever that now stands: a writer
// that knows no kinds shifts the table on a delete and leaves this section as it was.
void ReadLinkKinds(const ProfileFile& file, std::vector<DisplayRecord>& records, int count);
// Stores the kind of each of the first `count` records, when one of them is PJLink or the
// file already holds kinds; kinds stored beyond `count` are emptied.
void WriteLinkKinds(ProfileFile& file, const std::vector<DisplayRecord>& records, int count);

}  // namespace tarnex
