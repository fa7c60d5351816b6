// The product's name as every window title and message box shows it.
#pragma once

#include "res/version.h"

inline constexpr wchar_t kProductCaption[] = L"" TARNEL_PRODUCT_NAME;
inline constexpr wchar_t kProductVersion[] = L"1.0";
