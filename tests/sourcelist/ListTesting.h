// What the source-list tests share: the main dialog host and the items as the list box holds them.
#pragma once

#include "MainDialogHost.h"
#include "WinTest.h"
#include "res/resource.h"

#include <gtest/gtest.h>

namespace listtest {

using wintest::listItems;

} // namespace listtest
