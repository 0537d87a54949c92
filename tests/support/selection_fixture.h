#pragma once

#include <memory>

#include "console/selection_handler.h"
#include "support/console_fixture.h"

namespace tarnex::testing {

// The console fixture with the tree's selection handling, as the window drives it, over pages
// that read nothing.
class SelectionFixture : public ConsoleFixture {
 protected:
  void SetUp() override {
    ConsoleFixture::SetUp();
    handler = std::make_unique<CSelectionHandler>(*core, pages);
  }
  void TearDown() override {
    core->Stop();
    core->Jobs().Stop();
    handler.reset();
    ConsoleFixture::TearDown();
  }
  void Select(TreeItem item) {
    handler->OnSelectionChanged(item);
    Settle();
  }

  PageHost pages;
  std::unique_ptr<CSelectionHandler> handler;
};

}  // namespace tarnex::testing
