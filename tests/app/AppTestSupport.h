#pragma once
// The one QApplication of the window tests, on the offscreen platform unless told otherwise.
#include <QApplication>

namespace apptest {

QApplication& qtApp();

}  // namespace apptest
