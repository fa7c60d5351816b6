// imagecore --icon: one icon from pictures drawn at their own sizes.
#pragma once

#include "CommandLine.h"

// Reads every picture, then writes the icon only when all were read; exit status as a batch's.
int runIconFromPictures(const BatchSettings& settings);
