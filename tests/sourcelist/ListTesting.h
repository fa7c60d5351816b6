// What the source-list tests share: the items as the list box holds them, in display order.
#pragma once

#include "MainDialogHost.h"
#include "WinTest.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace listtest {


inline std::vector<std::wstring> listItems(HWND list) {
    std::vector<std::wstring> items;
    const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        std::wstring item(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&item[0]));
        item.resize(static_cast<size_t>(length > 0 ? length : 0));
        items.push_back(item);
    }
    return items;
}

} // namespace listtest
