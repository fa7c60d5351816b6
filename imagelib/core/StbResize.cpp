// Third-party code: compiled here once, with its own warnings left alone.
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC_ASSERT(x) static_assert(x, #x)
#include "StbResize.h"
