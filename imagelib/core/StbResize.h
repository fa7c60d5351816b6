// The resampler from the stb headers, declarations only; StbResize.cpp holds its body.
#pragma once

#include <stb_image_resize.h>
