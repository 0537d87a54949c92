#include "monitor/page_flags.h"

#include <array>

namespace tarnex {
namespace {

constexpr std::array<DocFlag, kPageCount> kFlags = {
    &COsprelNetworkManagerDoc::m_docInformationPageActive,
    &COsprelNetworkManagerDoc::m_docControlPageActive,
    &COsprelNetworkManagerDoc::m_docPicturePageActive,
    &COsprelNetworkManagerDoc::m_docAdvancedPageActive,
    &COsprelNetworkManagerDoc::m_docSpecialPageActive,
};

}  // namespace

DocFlag PageFlagOf(PageKind kind) {
  return kFlags[TabOrder(kind)];
}

void RaisePageFlag(COsprelNetworkManagerDoc& doc, PageKind kind) {
  for (DocFlag flag : kFlags) doc.*flag = 0;
  doc.m_docInformationShown = 0;
  doc.m_docGroupPageActive = 0;
  doc.*PageFlagOf(kind) = 1;
}

}  // namespace tarnex
