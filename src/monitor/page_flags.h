#pragma once

#include "config/network_manager_doc.h"
#include "monitor/page_kind.h"

namespace tarnex {

using DocFlag = int COsprelNetworkManagerDoc::*;

// The document flag that is 1 while the page is on top.
DocFlag PageFlagOf(PageKind kind);

// The page's own flag becomes 1, every other page flag 0, and so do the two flags the
// information pages keep for themselves. Call with the console lock held.
void RaisePageFlag(COsprelNetworkManagerDoc& doc, PageKind kind);

}  // namespace tarnex
