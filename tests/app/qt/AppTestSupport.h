#pragma once
// The one QApplication of the window tests, on the offscreen platform unless told otherwise.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "app/qt/frmMain.h"
#include "check/MemoryControls.h"

namespace apptest {

QApplication& qtApp();

// A fixture with the main window shown and active, its dialogs answered from a script.
class ShownWindow : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  check::ScriptedDialogs dialogs;
  std::unique_ptr<app::frmMain> window;
};

}  // namespace apptest
