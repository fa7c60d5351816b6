// The product's name as every window title and message box shows it.
#pragma once

inline constexpr wchar_t kProductCaption[] = L"Tarnel Free PNG to ICO Converter";
inline constexpr wchar_t kProductVersion[] = L"1.0";
