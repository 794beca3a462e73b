// Opens a test dialog from its template: created, shown and active, so that
// focus, keys and the pointer reach its controls.
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>

#include "mfc/afxwin.h"

inline ::testing::AssertionResult OpenDialog(CDialog& dlg, UINT id) {
  if (!dlg.Create(id)) return ::testing::AssertionFailure() << "dialog " << id << " was not created";
  dlg.ShowWindow(SW_SHOW);
  dlg.GetWidget()->activateWindow();
  if (!QTest::qWaitForWindowActive(dlg.GetWidget())) return ::testing::AssertionFailure() << "never active";
  return ::testing::AssertionSuccess();
}
